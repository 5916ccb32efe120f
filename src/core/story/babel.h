#pragma once
// The Treaty of Babel's modules (babel/), as the story layer asks them: each
// module is one function that answers a question (a selector) about a file
// held whole in memory.
#include "core/story/formats.h"

extern "C" {
#include "modules.h"
// blorb.c's: the chunk that holds a game of babel's format `name` ("ZCOD").
char* blorb_chunk_for_name(char* name);
}

#include <climits>

namespace tw::babel {

using treaty = TREATY;

inline constexpr int32 claim = CLAIM_STORY_FILE_SEL;
inline constexpr int32 identify = GET_STORY_FILE_IFID_SEL;
inline constexpr int32 contained_format = CONTAINER_GET_STORY_FORMAT_SEL;
inline constexpr int32 contained_size = CONTAINER_GET_STORY_EXTENT_SEL;
inline constexpr int32 contained_story = CONTAINER_GET_STORY_FILE_SEL;

inline constexpr int32 valid = VALID_STORY_FILE_RV;
inline constexpr int32 no_reply = NO_REPLY_RV;
inline constexpr int32 incomplete = INCOMPLETE_REPLY_RV;

// The modules take the file as writable memory and never write it; a file
// larger than they can count is none of theirs (story_size_limit is far
// below).
inline int32 ask(treaty module, int32 selector, file_bytes file, void* out = nullptr,
                 int32 out_size = 0) {
    static_assert(story_size_limit < INT_MAX);
    if (file.size() > story_size_limit)
        return INVALID_STORY_FILE_RV;
    return module(selector, const_cast<unsigned char*>(file.data()),
                  static_cast<int32>(file.size()), out, out_size);
}

} // namespace tw::babel
