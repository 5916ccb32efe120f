#pragma once
// The four kinds of stream: a window's, memory, file and Blorb resource.
// Positions and the end of data follow the Glk rules for each kind; the
// character counts are kept by the calls in streams.cpp.
#include "core/platform/atomic_file.h"
#include "glk/glk_api.h"
#include "glk/registry.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

struct glk_stream_struct {
    glk_stream_struct(glui32 rock, glui32 mode, bool unicode);
    virtual ~glk_stream_struct() = default;
    glk_stream_struct(const glk_stream_struct&) = delete;
    glk_stream_struct& operator=(const glk_stream_struct&) = delete;

    const glui32 rock;
    const bool readable, writable, unicode;
    size_t list_index = 0;
    gidispatch_rock_t dispatch_rock{};
    glui32 read_count = 0, write_count = 0;
    glui32 style = style_Normal;
    glui32 link = 0; // the hyperlink text written now belongs to, 0 for none

    virtual void put(char32_t ch) = 0;
    virtual void set_style(glui32 value) { style = value; }
    virtual void set_link(glui32 value) { link = value; }
    // The next character, or -1 at the end of the data.
    virtual glsi32 get() { return -1; }
    virtual glui32 position() const { return 0; }
    virtual void seek(glsi32, glui32) {}
    virtual glk_window_struct* window() const { return nullptr; }
    // Before the stream is destroyed: gives back arrays, closes files.
    virtual void finish() {}
};

namespace tw::glk {

// Counts and writes one character; what every output call comes to.
void write_char(glk_stream_struct* stream, char32_t ch);

class window_stream final : public glk_stream_struct {
  public:
    explicit window_stream(glk_window_struct* window)
        : glk_stream_struct(0, filemode_Write, true), window_(window) {}

    void put(char32_t ch) override;
    void set_style(glui32 value) override;
    void set_link(glui32 value) override;
    glk_window_struct* window() const override { return window_; }

  private:
    glk_window_struct* window_;
    bool echoing_ = false; // a window echoing into itself, however far round
};

class memory_stream final : public glk_stream_struct {
  public:
    memory_stream(void* buffer, glui32 length, glui32 mode, bool unicode, glui32 rock);

    void put(char32_t ch) override;
    glsi32 get() override;
    glui32 position() const override { return position_; }
    void seek(glsi32 offset, glui32 seekmode) override;
    void finish() override { array_.release(); }

  private:
    void* buffer_;
    glui32 length_;
    glui32 position_ = 0;
    glui32 end_; // the end of the data: what was written, or all of a buffer to read
    retained_array array_;
};

// A file the game reads or writes. What it writes never costs the player
// the file that was there: a file opened to be written, or read and
// written, is a new one beside it (read and written starts as a copy), put
// in its place when the stream closes cleanly; a file appended to is added
// to in place, and cut back to its old length if an append fails. Glk has
// no way to tell the game that a write failed, so the display is told.
class file_stream final : public glk_stream_struct {
  public:
    // Null when the file cannot be opened (or must exist and does not).
    // `usage` is the fileref's: what the file is for.
    static std::unique_ptr<file_stream> open(const std::filesystem::path& path, glui32 mode,
                                             bool text, bool unicode, glui32 rock, glui32 usage);
    ~file_stream() override { finish(); }

    void put(char32_t ch) override;
    glsi32 get() override;
    glui32 position() const override;
    void seek(glsi32 offset, glui32 seekmode) override;
    void finish() override;

  private:
    file_stream(const std::filesystem::path& path, glui32 mode, bool text, bool unicode,
                glui32 rock, glui32 usage)
        : glk_stream_struct(rock, mode, unicode), path_(path), usage_(usage), text_(text) {}
    // C streams must be repositioned between reading and writing.
    void switch_to(bool writing);
    int byte();
    void write(const void* bytes, size_t count);
    // The first failure to write is told; nothing more is written.
    void fail(std::error_code why);

    std::filesystem::path path_;
    glui32 usage_;
    bool text_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<atomic_file> replacement_; // written, or read and written
    long appended_from_ = -1;                  // appended to: the old length
    bool existed_ = true;
    std::error_code error_;
    enum class last { none, read, write } last_ = last::none;
};

// A Blorb data resource, read-only: TEXT chunks are UTF-8 text to a Unicode
// stream, BINA chunks big-endian words; to a Latin-1 stream both are bytes.
class resource_stream final : public glk_stream_struct {
  public:
    resource_stream(std::vector<unsigned char> data, bool text, bool unicode, glui32 rock)
        : glk_stream_struct(rock, filemode_Read, unicode), data_(std::move(data)), text_(text) {}

    void put(char32_t) override {}
    glsi32 get() override;
    glui32 position() const override;
    void seek(glsi32 offset, glui32 seekmode) override;

  private:
    bool words() const { return unicode && !text_; }

    std::vector<unsigned char> data_;
    bool text_;
    size_t position_ = 0; // in bytes
};

} // namespace tw::glk
