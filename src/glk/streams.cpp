// The stream calls of the Glk API and the kinds of stream behind them.
#include "glk/library.h"
#include "glk/platform.h"
#include "glk/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

glk_stream_struct::glk_stream_struct(glui32 rock, glui32 mode, bool unicode)
    : rock(rock), readable(mode == filemode_Read || mode == filemode_ReadWrite),
      writable(mode != filemode_Read), unicode(unicode) {}

namespace tw::glk {
namespace {

// A new position from a Glk seek, kept within [0, end].
glui32 seek_target(glui32 current, glui32 end, glsi32 offset, glui32 seekmode) {
    long long base = seekmode == seekmode_Current ? current : seekmode == seekmode_End ? end : 0;
    return static_cast<glui32>(std::clamp<long long>(base + offset, 0, end));
}

} // namespace

void write_char(glk_stream_struct* stream, char32_t ch) {
    if (!stream || !stream->writable)
        return;
    ++stream->write_count;
    stream->put(ch);
}

void window_stream::put(char32_t ch) {
    window_->put(ch, style, link);
    if (window_->echo_stream && !echoing_) {
        echoing_ = true;
        write_char(window_->echo_stream, ch);
        echoing_ = false;
    }
}

void window_stream::set_style(glui32 value) {
    style = value;
    if (window_->echo_stream && !echoing_) {
        echoing_ = true;
        window_->echo_stream->set_style(value);
        echoing_ = false;
    }
}

void window_stream::set_link(glui32 value) {
    link = value;
    if (window_->echo_stream && !echoing_) {
        echoing_ = true;
        window_->echo_stream->set_link(value);
        echoing_ = false;
    }
}

memory_stream::memory_stream(void* buffer, glui32 length, glui32 mode, bool unicode, glui32 rock)
    : glk_stream_struct(rock, mode, unicode), buffer_(length ? buffer : nullptr),
      length_(buffer ? length : 0), end_(mode == filemode_Write ? 0 : length_),
      array_(buffer_, length_, unicode) {}

void memory_stream::put(char32_t ch) {
    if (position_ >= length_)
        return; // counted, but beyond the buffer
    if (unicode)
        static_cast<glui32*>(buffer_)[position_] = ch;
    else
        static_cast<unsigned char*>(buffer_)[position_] =
            ch > 0xFF ? '?' : static_cast<unsigned char>(ch);
    end_ = std::max(end_, ++position_);
}

glsi32 memory_stream::get() {
    if (position_ >= end_)
        return -1;
    glui32 ch = unicode ? static_cast<const glui32*>(buffer_)[position_]
                        : static_cast<const unsigned char*>(buffer_)[position_];
    ++position_;
    return static_cast<glsi32>(ch);
}

void memory_stream::seek(glsi32 offset, glui32 seekmode) {
    position_ = seek_target(position_, end_, offset, seekmode);
}

std::unique_ptr<file_stream> file_stream::open(const std::filesystem::path& path, glui32 mode,
                                               bool text, bool unicode, glui32 rock, glui32 usage) {
    if (mode != filemode_Read && mode != filemode_Write && mode != filemode_ReadWrite &&
        mode != filemode_WriteAppend)
        return nullptr;
    std::unique_ptr<file_stream> stream(new file_stream(path, mode, text, unicode, rock, usage));
    if (mode == filemode_Read) {
        stream->file_ = open_file(path, "rb");
        return stream->file_ ? std::move(stream) : nullptr;
    }
    if (mode == filemode_WriteAppend) {
        // "a" would forbid seeking: made if missing, then opened with "r+".
        std::error_code missing;
        stream->existed_ = std::filesystem::exists(path, missing);
        errno = 0;
        if (std::FILE* created = open_file(path, "ab"))
            std::fclose(created);
        stream->file_ = open_file(path, "r+b");
        if (stream->file_ && std::fseek(stream->file_, 0, SEEK_END) == 0)
            stream->appended_from_ = std::ftell(stream->file_);
        if (!stream->file_ || stream->appended_from_ < 0) {
            stream->fail({errno ? errno : EIO, std::generic_category()});
            return nullptr;
        }
        return stream;
    }
    stream->replacement_ = std::make_unique<atomic_file>(path);
    auto& replacement = *stream->replacement_;
    if (replacement.file() && mode == filemode_ReadWrite) {
        // Neither truncates: the new file starts as a copy of the old.
        if (std::FILE* old = open_file(path, "rb")) {
            char buffer[1 << 14];
            while (size_t got = std::fread(buffer, 1, sizeof buffer, old))
                if (!replacement.write({buffer, got}))
                    break;
            if (std::ferror(old))
                replacement.fail(std::make_error_code(std::errc::io_error));
            std::fclose(old);
        }
        std::rewind(replacement.file());
    }
    if (!replacement.file() || replacement.error()) {
        stream->fail(replacement.error());
        return nullptr;
    }
    stream->file_ = replacement.file();
    return stream;
}

void file_stream::switch_to(bool writing) {
    last now = writing ? last::write : last::read;
    if (last_ != last::none && last_ != now)
        std::fseek(file_, 0, SEEK_CUR);
    last_ = now;
}

int file_stream::byte() {
    return std::fgetc(file_);
}

void file_stream::write(const void* bytes, size_t count) {
    errno = 0;
    if (std::fwrite(bytes, 1, count, file_) != count)
        fail({errno ? errno : EIO, std::generic_category()});
}

void file_stream::put(char32_t ch) {
    if (!file_ || error_)
        return;
    switch_to(true);
    if (text_) {
        std::string bytes;
        append_utf8(bytes, ch);
        write(bytes.data(), bytes.size());
    } else if (unicode) {
        unsigned char word[4] = {
            static_cast<unsigned char>(ch >> 24), static_cast<unsigned char>(ch >> 16),
            static_cast<unsigned char>(ch >> 8), static_cast<unsigned char>(ch)};
        write(word, 4);
    } else {
        unsigned char byte = ch > 0xFF ? '?' : static_cast<unsigned char>(ch);
        write(&byte, 1);
    }
}

void file_stream::fail(std::error_code why) {
    if (error_)
        return;
    error_ = why ? why : std::make_error_code(std::errc::io_error);
    library::get().write_failed(path_, usage_, error_);
}

glsi32 file_stream::get() {
    if (!file_)
        return -1;
    switch_to(false);
    if (!text_ && unicode) {
        glui32 ch = 0;
        for (int i = 0; i < 4; ++i) {
            int b = byte();
            if (b == EOF)
                return -1;
            ch = (ch << 8) | static_cast<glui32>(b);
        }
        return static_cast<glsi32>(ch);
    }
    int lead = byte();
    if (lead == EOF)
        return -1;
    if (!text_)
        return lead;
    if (lead == '\r') {
        // A line break written by Windows.
        int next = byte();
        if (next == '\n')
            return '\n';
        if (next != EOF)
            std::ungetc(next, file_);
        return '\r';
    }
    // UTF-8; bytes that are not (a Latin-1 file) are read as themselves.
    size_t length = utf8_sequence_length(static_cast<unsigned char>(lead));
    if (length <= 1)
        return lead;
    std::string bytes(1, static_cast<char>(lead));
    while (bytes.size() < length) {
        int b = byte();
        if (b == EOF || (b & 0xC0) != 0x80) {
            if (b != EOF)
                std::ungetc(b, file_);
            break;
        }
        bytes.push_back(static_cast<char>(b));
    }
    char32_t ch = 0;
    if (next_code_point(bytes, 0, ch) == length)
        return static_cast<glsi32>(ch);
    // Only one byte can be put back; the lead byte stands for itself.
    return lead;
}

glui32 file_stream::position() const {
    long at = file_ ? std::ftell(file_) : 0;
    if (at < 0)
        return 0;
    return static_cast<glui32>(!text_ && unicode ? at / 4 : at);
}

void file_stream::seek(glsi32 offset, glui32 seekmode) {
    if (!file_)
        return;
    long scaled = !text_ && unicode ? long{offset} * 4 : offset;
    int whence = seekmode == seekmode_Current ? SEEK_CUR
                 : seekmode == seekmode_End   ? SEEK_END
                                              : SEEK_SET;
    std::fseek(file_, scaled, whence);
    last_ = last::none;
}

void file_stream::finish() {
    std::FILE* file = file_;
    if (!file)
        return;
    file_ = nullptr;
    if (replacement_) {
        // Put in place only if every byte was written; the old file stays
        // otherwise.
        if (error_)
            replacement_->fail(error_);
        else if (!replacement_->commit())
            fail(replacement_->error());
        replacement_.reset();
        return;
    }
    errno = 0;
    if (std::fclose(file) != 0 && appended_from_ >= 0)
        fail({errno ? errno : EIO, std::generic_category()});
    if (appended_from_ >= 0 && error_) {
        // What was there before the append is kept, and only that.
        std::error_code ignored;
        if (existed_)
            std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(appended_from_),
                                         ignored);
        else
            std::filesystem::remove(path_, ignored);
    }
}

glsi32 resource_stream::get() {
    if (position_ >= data_.size())
        return -1;
    if (words()) {
        if (data_.size() - position_ < 4) {
            position_ = data_.size();
            return -1;
        }
        glui32 ch = 0;
        for (int i = 0; i < 4; ++i)
            ch = (ch << 8) | data_[position_++];
        return static_cast<glsi32>(ch);
    }
    unsigned char lead = data_[position_];
    if (unicode && lead >= 0x80) {
        std::string_view rest(reinterpret_cast<const char*>(data_.data()) + position_,
                              data_.size() - position_);
        char32_t ch = 0;
        if (size_t length = next_code_point(rest, 0, ch)) {
            position_ += length;
            return static_cast<glsi32>(ch);
        }
    }
    ++position_;
    return lead;
}

glui32 resource_stream::position() const {
    return static_cast<glui32>(words() ? position_ / 4 : position_);
}

void resource_stream::seek(glsi32 offset, glui32 seekmode) {
    glui32 unit = words() ? 4 : 1;
    glui32 end = static_cast<glui32>(data_.size() / unit);
    position_ = size_t{seek_target(position(), end, offset, seekmode)} * unit;
}

glk_stream_struct* library::add_stream(std::unique_ptr<glk_stream_struct> stream) {
    return streams.add(std::move(stream));
}

void library::close_stream(glk_stream_struct* stream, stream_result_t* result) {
    if (result)
        *result = {stream->read_count, stream->write_count};
    if (current_stream == stream)
        current_stream = nullptr;
    for (auto& win : windows)
        if (win->echo_stream == stream)
            win->echo_stream = nullptr;
    stream->finish();
    streams.destroy(stream);
}

} // namespace tw::glk

using namespace tw::glk;

namespace {

glk_stream_struct* current() {
    return library::get().current_stream;
}

void write_latin1(strid_t str, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        write_char(str, static_cast<unsigned char>(text[i]));
}

void write_unicode(strid_t str, const glui32* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        write_char(str, text[i]);
}

size_t unicode_length(const glui32* text) {
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

glsi32 read_char(strid_t str) {
    if (!str || !str->readable)
        return -1;
    glsi32 ch = str->get();
    if (ch != -1)
        ++str->read_count;
    return ch;
}

// Characters as Latin-1 callers get them: beyond 255 is "?".
char latin1(glsi32 ch) {
    return static_cast<char>(static_cast<glui32>(ch) > 0xFF ? '?' : ch);
}

template <class T, class Convert>
glui32 read_buffer(strid_t str, T* buf, glui32 len, Convert convert) {
    glui32 count = 0;
    for (; count < len; ++count) {
        glsi32 ch = read_char(str);
        if (ch == -1)
            break;
        buf[count] = convert(ch);
    }
    return count;
}

template <class T, class Convert>
glui32 read_line(strid_t str, T* buf, glui32 len, Convert convert) {
    if (!buf || len == 0)
        return 0;
    glui32 count = 0;
    while (count + 1 < len) {
        glsi32 ch = read_char(str);
        if (ch == -1)
            break;
        buf[count++] = convert(ch);
        if (ch == '\n')
            break;
    }
    buf[count] = 0;
    return count;
}

strid_t open_memory(void* buf, glui32 buflen, glui32 fmode, bool unicode, glui32 rock) {
    if (fmode != filemode_Read && fmode != filemode_Write && fmode != filemode_ReadWrite)
        return nullptr;
    return library::get().add_stream(
        std::make_unique<memory_stream>(buf, buflen, fmode, unicode, rock));
}

strid_t open_file_stream(frefid_t fileref, glui32 fmode, bool unicode, glui32 rock) {
    if (!fileref)
        return nullptr;
    auto stream = file_stream::open(fileref->path, fmode, fileref->text_mode(), unicode, rock,
                                    fileref->usage);
    return stream ? library::get().add_stream(std::move(stream)) : nullptr;
}

} // namespace

strid_t glk_stream_open_memory(char* buf, glui32 buflen, glui32 fmode, glui32 rock) {
    return open_memory(buf, buflen, fmode, false, rock);
}

strid_t glk_stream_open_memory_uni(glui32* buf, glui32 buflen, glui32 fmode, glui32 rock) {
    return open_memory(buf, buflen, fmode, true, rock);
}

strid_t glk_stream_open_file(frefid_t fileref, glui32 fmode, glui32 rock) {
    return open_file_stream(fileref, fmode, false, rock);
}

strid_t glk_stream_open_file_uni(frefid_t fileref, glui32 fmode, glui32 rock) {
    return open_file_stream(fileref, fmode, true, rock);
}

void glk_stream_close(strid_t str, stream_result_t* result) {
    // A window's stream closes with its window.
    if (str && !str->window())
        library::get().close_stream(str, result);
}

strid_t glk_stream_iterate(strid_t str, glui32* rockptr) {
    return library::get().streams.next(str, rockptr);
}

glui32 glk_stream_get_rock(strid_t str) {
    return str ? str->rock : 0;
}

void glk_stream_set_position(strid_t str, glsi32 pos, glui32 seekmode) {
    if (str)
        str->seek(pos, seekmode);
}

glui32 glk_stream_get_position(strid_t str) {
    return str ? str->position() : 0;
}

void glk_stream_set_current(strid_t str) {
    library::get().current_stream = str;
}

strid_t glk_stream_get_current(void) {
    return current();
}

void glk_put_char(unsigned char ch) {
    write_char(current(), ch);
}

void glk_put_char_stream(strid_t str, unsigned char ch) {
    write_char(str, ch);
}

void glk_put_string(char* s) {
    if (s)
        write_latin1(current(), s, std::strlen(s));
}

void glk_put_string_stream(strid_t str, char* s) {
    if (s)
        write_latin1(str, s, std::strlen(s));
}

void glk_put_buffer(char* buf, glui32 len) {
    if (buf)
        write_latin1(current(), buf, len);
}

void glk_put_buffer_stream(strid_t str, char* buf, glui32 len) {
    if (buf)
        write_latin1(str, buf, len);
}

void glk_put_char_uni(glui32 ch) {
    write_char(current(), ch);
}

void glk_put_string_uni(glui32* s) {
    if (s)
        write_unicode(current(), s, unicode_length(s));
}

void glk_put_buffer_uni(glui32* buf, glui32 len) {
    if (buf)
        write_unicode(current(), buf, len);
}

void glk_put_char_stream_uni(strid_t str, glui32 ch) {
    write_char(str, ch);
}

void glk_put_string_stream_uni(strid_t str, glui32* s) {
    if (s)
        write_unicode(str, s, unicode_length(s));
}

void glk_put_buffer_stream_uni(strid_t str, glui32* buf, glui32 len) {
    if (buf)
        write_unicode(str, buf, len);
}

void glk_set_style(glui32 styl) {
    if (strid_t str = current())
        str->set_style(styl);
}

void glk_set_style_stream(strid_t str, glui32 styl) {
    if (str)
        str->set_style(styl);
}

void glk_set_hyperlink(glui32 linkval) {
    if (strid_t str = current())
        str->set_link(linkval);
}

void glk_set_hyperlink_stream(strid_t str, glui32 linkval) {
    if (str)
        str->set_link(linkval);
}

glsi32 glk_get_char_stream(strid_t str) {
    glsi32 ch = read_char(str);
    return ch == -1 ? -1 : static_cast<unsigned char>(latin1(ch));
}

glsi32 glk_get_char_stream_uni(strid_t str) {
    return read_char(str);
}

glui32 glk_get_buffer_stream(strid_t str, char* buf, glui32 len) {
    return buf ? read_buffer(str, buf, len, latin1) : 0;
}

glui32 glk_get_buffer_stream_uni(strid_t str, glui32* buf, glui32 len) {
    return buf ? read_buffer(str, buf, len, [](glsi32 ch) { return static_cast<glui32>(ch); }) : 0;
}

glui32 glk_get_line_stream(strid_t str, char* buf, glui32 len) {
    return read_line(str, buf, len, latin1);
}

glui32 glk_get_line_stream_uni(strid_t str, glui32* buf, glui32 len) {
    return read_line(str, buf, len, [](glsi32 ch) { return static_cast<glui32>(ch); });
}

strid_t glkunix_stream_open_pathname_gen(char* pathname, glui32 writemode, glui32 textmode,
                                         glui32 rock) {
    if (!pathname)
        return nullptr;
    auto stream =
        file_stream::open(path_from_utf8(pathname), writemode ? filemode_Write : filemode_Read,
                          textmode != 0, false, rock, fileusage_Data);
    return stream ? library::get().add_stream(std::move(stream)) : nullptr;
}

strid_t glkunix_stream_open_pathname(char* pathname, glui32 textmode, glui32 rock) {
    return glkunix_stream_open_pathname_gen(pathname, 0, textmode, rock);
}
