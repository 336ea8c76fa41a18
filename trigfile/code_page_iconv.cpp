// codePageToUtf8 and utf8ToCodePage on POSIX systems: glibc's iconv and its gconv modules.

#include "trigfile/code_page.h"

#include <iconv.h>

#include <cerrno>

namespace trigfile {
namespace {

const char* iconvName(unsigned codePage) {
    switch (codePage) {
    case kCodePageUtf8:
        return "UTF-8";
    case kCodePageKorean:
        return "CP949";
    case kCodePageWestern:
        return "CP1252";
    default:
        return nullptr;
    }
}

// One conversion descriptor, closed however the conversion ends.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

// Converts all of bytes, or nothing when a byte sequence has no place in
// the other encoding (iconv without //TRANSLIT fails rather than guess).
std::optional<std::string> convert(std::string_view bytes, const char* to, const char* from) {
    if (to == nullptr || from == nullptr) {
        return std::nullopt;
    }
    Converter converter(to, from);
    if (!converter.ok()) {
        return std::nullopt;
    }
    // A byte of any of these code pages becomes at most three bytes of UTF-8,
    // and a character of UTF-8 at most two bytes of a code page.
    std::string out(bytes.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(bytes.data()); // iconv's signature; it only reads
    std::size_t inLeft = bytes.size();
    char* outAt = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &outAt, &outLeft) ==
            static_cast<std::size_t>(-1)) {
            if (errno != E2BIG) {
                return std::nullopt; // EILSEQ: no place there; EINVAL: cut inside a character
            }
            const std::size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outAt = out.data() + used;
            outLeft = out.size() - used;
        }
    }
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage) {
    return convert(bytes, "UTF-8", iconvName(codePage));
}

std::optional<std::string> utf8ToCodePage(std::string_view text, unsigned codePage) {
    return convert(text, iconvName(codePage), "UTF-8");
}

} // namespace trigfile
