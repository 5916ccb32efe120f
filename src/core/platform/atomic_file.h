#pragma once
// A file replaced whole (a save, a download, the settings), so that the old
// one is never lost: the new one is written beside it under a name no other
// file has, flushed to the disk, and renamed over it only when every byte is
// there. After a failure (a full disk), or a power cut at any moment, the
// old file is there as it was, or the new one whole; never half of one.
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tw {

class atomic_file {
  public:
    // Makes the new file beside `target`, open to be written and read back;
    // when it cannot, file() is null and error() says why.
    explicit atomic_file(std::filesystem::path target);
    // Unless committed, the new file goes and the target stays as it was.
    ~atomic_file();
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;

    std::FILE* file() const { return file_; }
    // Writes `bytes`; false once anything has failed.
    bool write(std::string_view bytes);
    // A failure the caller met writing through file() itself.
    void fail(std::error_code why);
    // The first failure; none while all is well.
    const std::error_code& error() const { return error_; }

    // The new file, with what was written so far on the disk, for a caller
    // that reads it back by name (to tell what it holds) before committing.
    const std::filesystem::path& written_so_far();

    // Puts the new file in the target's place: true once it is there (even
    // if the folder could not be flushed after the rename: the file is in
    // place, which is what a caller must know). Otherwise the new file is
    // removed, the target is as it was, and error() says why.
    bool commit();
    // The same, in the place of `target` instead, in the same folder.
    bool commit_as(std::filesystem::path target);

  private:
    // The platform's part (atomic_file_posix.cpp, atomic_file_win32.cpp).
    static bool flush_to_disk(std::FILE* file, std::error_code& error);
    // Renames `from` over `to` in one step, on the disk when it returns.
    static bool replace(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::error_code& error);
    void remove_new_file();

    std::filesystem::path target_;
    std::filesystem::path new_file_;
    std::FILE* file_ = nullptr;
    std::error_code error_;
};

} // namespace tw
