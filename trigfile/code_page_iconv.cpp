// codePageToUtf8 on POSIX systems: glibc's iconv and its gconv modules.

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
    explicit Converter(const char* from) : cd_(iconv_open("UTF-8", from)) {}
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

} // namespace

std::optional<std::string> codePageToUtf8(std::string_view bytes, unsigned codePage) {
    const char* name = iconvName(codePage);
    if (name == nullptr) {
        return std::nullopt;
    }
    Converter converter(name);
    if (!converter.ok()) {
        return std::nullopt;
    }
    // A byte of any of these code pages becomes at most three bytes of UTF-8.
    std::string out(bytes.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(bytes.data()); // iconv's signature; it only reads
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter.get(), &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1)) {
            if (errno != E2BIG) {
                return std::nullopt; // EILSEQ: not valid there; EINVAL: cut inside a character
            }
            const std::size_t used = out.size() - toLeft;
            out.resize(out.size() * 2);
            to = out.data() + used;
            toLeft = out.size() - used;
        }
    }
    out.resize(out.size() - toLeft);
    return out;
}

} // namespace trigfile
