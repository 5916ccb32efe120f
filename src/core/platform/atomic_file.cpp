#include "core/platform/atomic_file.h"

#include "core/platform/platform.h"

#include <cerrno>
#include <random>

namespace tw {
namespace {

std::error_code last_error(int otherwise = EIO) {
    return {errno ? errno : otherwise, std::generic_category()};
}

} // namespace

atomic_file::atomic_file(std::filesystem::path target) : target_(std::move(target)) {
    // Hidden where dots hide, and ending in no extension a reader of the
    // folder (the list of saves) knows.
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = ".part-";
        for (int i = 0; i < 6; ++i)
            suffix += letters[pick(random)];
        std::filesystem::path name = ".";
        name += target_.filename();
        name += suffix;
        new_file_ = target_.parent_path() / name;
        errno = 0;
        file_ = create_new_file(new_file_);
        if (file_)
            return;
        if (errno != EEXIST)
            break;
    }
    error_ = last_error();
    new_file_.clear();
}

atomic_file::~atomic_file() {
    if (file_)
        std::fclose(file_);
    remove_new_file();
}

bool atomic_file::write(std::string_view bytes) {
    if (!file_ || error_)
        return false;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        fail(last_error());
    return !error_;
}

void atomic_file::fail(std::error_code why) {
    if (!error_)
        error_ = why;
}

const std::filesystem::path& atomic_file::written_so_far() {
    errno = 0;
    if (file_ && std::fflush(file_) != 0)
        fail(last_error());
    return new_file_;
}

bool atomic_file::commit_as(std::filesystem::path target) {
    target_ = std::move(target);
    return commit();
}

bool atomic_file::commit() {
    if (!file_)
        return false;
    std::error_code flushed;
    if (!error_ && !flush_to_disk(file_, flushed))
        fail(flushed);
    errno = 0;
    // Windows renames no open file.
    if (std::fclose(file_) != 0)
        fail(last_error());
    file_ = nullptr;
    std::error_code replaced;
    if (!error_ && !replace(new_file_, target_, replaced))
        fail(replaced);
    if (error_) {
        remove_new_file();
        return false;
    }
    new_file_.clear();
    return true;
}

void atomic_file::remove_new_file() {
    std::error_code ignored;
    if (!new_file_.empty())
        std::filesystem::remove(new_file_, ignored);
    new_file_.clear();
}

} // namespace tw
