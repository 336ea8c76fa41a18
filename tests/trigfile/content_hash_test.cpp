// The hash that checks a map's new scenario data after it was stored: the
// published answers of 64-bit FNV-1a, however the bytes are split.

#include "trigfile/content_hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(ContentHash, GivesFnv1aPublishedAnswersInAnyPieces) {
    const struct {
        std::string bytes;
        std::uint64_t hash;
    } cases[] = {
        {"", 0xCBF29CE484222325ULL},
        {"a", 0xAF63DC4C8601EC8CULL},
        {"foobar", 0x85944171F73967E8ULL},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        for (const std::size_t piece : {std::size_t{1}, std::size_t{4}, std::size_t{100}}) {
            trigfile::ContentHash hash;
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                hash.add(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
            }
            EXPECT_EQ(hash.value(), c.hash) << '"' << c.bytes << "\" in pieces of " << piece;
            EXPECT_EQ(hash.size(), bytes.size());
        }
    }
}

} // namespace
