#include "core/interpreter/dfrotz_rows.h"

#include "core/interpreter/dfrotz.h"

#include "core/text/utf8.h"

namespace tw {

namespace {

using dfrotz::reverse_blank;

void trim(std::string& s) {
    size_t b = s.find_first_not_of(' ');
    size_t e = s.find_last_not_of(' ');
    s = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

row_cells read_cells(std::string_view row) {
    row_cells c;
    std::string run;
    size_t run_cells = 0;
    bool run_padded = false;
    auto end_run = [&] {
        if (run_padded) {
            c.box_like = true;
            trim(run);
            if (!run.empty())
                c.boxed += (c.boxed.empty() ? "" : " ") + run;
        }
        run.clear();
        run_cells = 0;
        run_padded = false;
    };
    for (size_t i = 0; i < row.size();) {
        bool reverse = row[i] == reverse_blank;
        if (row[i] == '_' && i + 1 < row.size() && row[i + 1] == '\b') {
            reverse = true;
            i += 2;
            if (i == row.size())
                break;
        } else if (row[i] == '\b') {
            ++i;
            continue;
        }
        char32_t cp;
        size_t len = row[i] == reverse_blank ? 1 : next_code_point(row, i, cp);
        std::string_view ch = row[i] == reverse_blank ? " " : row.substr(i, len ? len : 1);
        i += len ? len : 1;
        ++c.count;
        c.text += ch;
        if (!reverse) {
            if (ch != " ")
                c.all_reverse = false;
            end_run();
            continue;
        }
        c.any_reverse = true;
        if (++run_cells == 2)
            run_padded = run == " " && ch == " ";
        run += ch;
    }
    end_run();
    return c;
}

std::string collapse_spaces(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

size_t first_word_cells(std::string_view s) {
    return utf8_length(s.substr(0, s.find(' ')));
}

} // namespace tw
