#pragma once
// The reader's own pipeline (output_reader over one kind of interpreter's
// decoder), driven on the fuzzer's thread. Every item it delivers is checked
// to be UTF-8 and kept, tagged by kind, so that two ways of feeding the same
// bytes can be compared.
#include "common.h"

#include "core/interpreter/reader.h"

#include <functional>
#include <memory>

namespace fuzz {

struct reader_pipeline {
    explicit reader_pipeline(std::unique_ptr<tw::output_decoder> decoder,
                             std::function<void(const tw::output_item&)> also_check = {})
        : reader(
              std::move(decoder), heard,
              [this, also_check](tw::output_item item) {
                  FUZZ_CHECK(valid_utf8(item.raw));
                  FUZZ_CHECK(valid_utf8(item.shown));
                  failures += item.kind == tw::output_item::failure;
                  if (also_check)
                      also_check(item);
                  items.push_back(std::to_string(item.kind) + item.raw);
              },
              [](const std::string&) {}) {}
    // Its reader's callback holds `this`.
    reader_pipeline(const reader_pipeline&) = delete;
    reader_pipeline& operator=(const reader_pipeline&) = delete;

    void feed(std::string_view bytes) { reader.feed(bytes); }
    // The read timed out; as the reader, only when something is held.
    void quiet() {
        if (reader.holding())
            reader.quiet();
    }
    void finish() { reader.finish(); }

    std::vector<std::string> items;
    int failures = 0;
    tw::hearing heard;
    tw::output_reader reader;
};

} // namespace fuzz
