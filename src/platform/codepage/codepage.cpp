#include "platform/codepage/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>

#include <exception>

namespace tavolen::codepage {
namespace {

// ICU's own substitution silently leaves out default-ignorable characters (U+200B, U+FEFF, the
// soft hyphen, variation selectors) that the target lacks; they become the substitute like
// every other missing character, so nothing vanishes from a converted text unseen.
void substitute_every_missing(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                              UChar32, UConverterCallbackReason reason, UErrorCode* status) {
    if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
    *status = U_ZERO_ERROR;
    ucnv_cbFromUWriteSub(args, 0, status);
}

UConverter* open_converter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open(name, &status);
    if (U_FAILURE(status)) return nullptr;
    ucnv_setFromUCallBack(cnv, substitute_every_missing, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) {
        ucnv_close(cnv);
        return nullptr;
    }
    return cnv;
}

// Opening a converter costs far more than a short conversion, and the poll loop converts every
// reply, so each thread keeps its own pair open for its lifetime (converters are not
// thread-safe).
class ThreadConverters {
  public:
    // Invalid source bytes become U+FFFD (ICU's default); characters the target lacks become
    // the code page's own "?" (for UTF-8, U+FFFD).
    ThreadConverters() : gbk_(open_converter("windows-936-2000")), utf8_(open_converter("UTF-8")) {}
    ~ThreadConverters() {
        if (gbk_) ucnv_close(gbk_);
        if (utf8_) ucnv_close(utf8_);
    }
    ThreadConverters(const ThreadConverters&) = delete;
    ThreadConverters& operator=(const ThreadConverters&) = delete;

    UConverter* get(int code_page) const {
        switch (code_page) {
            case cp_acp:
            case cp_gbk:
                return gbk_;
            case cp_utf8:
                return utf8_;
            default:
                return nullptr;
        }
    }

  private:
    UConverter* gbk_ = nullptr;
    UConverter* utf8_ = nullptr;
};

UConverter* converter_for(int code_page) {
    thread_local ThreadConverters converters;
    return converters.get(code_page);
}

// The characters code page 936 holds, built once and frozen so that every thread may read it.
const USet* gbk_repertoire() {
    static const struct Repertoire {
        USet* set = nullptr;
        Repertoire() {
            UErrorCode status = U_ZERO_ERROR;
            UConverter* cnv = ucnv_open("windows-936-2000", &status);
            if (U_FAILURE(status)) return;
            set = uset_openEmpty();
            ucnv_getUnicodeSet(cnv, set, UCNV_ROUNDTRIP_SET, &status);
            ucnv_close(cnv);
            if (U_FAILURE(status)) {
                uset_close(set);
                set = nullptr;
                return;
            }
            uset_freeze(set);
        }
        ~Repertoire() {
            if (set) uset_close(set);
        }
    } repertoire;
    return repertoire.set;
}

// Joins a base character and a following combining mark into the precomposed character where
// one exists and the target holds it (e + U+0301 -> U+00E9); otherwise the two convert on their
// own. Only pairs are composed: full normalisation would also replace compatibility ideographs
// that code page 936 holds as they are. target null means every character. Returns false when
// nothing changed.
bool compose_pairs(std::u16string_view units, const USet* target, std::u16string& out) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status)) return false;
    bool changed = false;
    out.clear();
    out.reserve(units.size());
    for (char16_t u : units) {
        if (!out.empty() && !(u >= 0xD800 && u <= 0xDFFF) && !unorm2_hasBoundaryBefore(nfc, u)) {
            char16_t last = out.back();
            if (!(last >= 0xD800 && last <= 0xDFFF)) {
                UChar32 c = unorm2_composePair(nfc, last, u);
                if (c >= 0 && c <= 0xFFFF && !(c >= 0xD800 && c <= 0xDFFF) &&
                    (!target || uset_contains(target, c))) {
                    out.back() = static_cast<char16_t>(c);
                    changed = true;
                    continue;
                }
            }
        }
        out.push_back(u);
    }
    return changed;
}

bool all_ascii(const unsigned char* p, std::size_t n) {
    unsigned char acc = 0;
    for (std::size_t i = 0; i < n; ++i) acc |= p[i];
    return acc < 0x80;
}

}  // namespace

bool is_supported(int code_page) {
    return code_page == cp_acp || code_page == cp_gbk || code_page == cp_utf8;
}

std::u16string multi_byte_to_wide_char(int code_page, std::string_view bytes) {
    std::u16string out;
    UConverter* cnv = converter_for(code_page);
    if (!cnv || bytes.empty()) return out;

    // ASCII is the same in both code pages and is most of what travels.
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
    if (all_ascii(src, bytes.size())) {
        out.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = src[i];
        return out;
    }

    try {
        // Every source byte yields at most one UTF-16 unit in both code pages (a four-byte
        // UTF-8 sequence gives two units), so one pass into a buffer of that size suffices.
        out.resize(bytes.size() + 1);
        ucnv_resetToUnicode(cnv);
        UErrorCode status = U_ZERO_ERROR;
        UChar* target = out.data();
        const char* source = bytes.data();
        ucnv_toUnicode(cnv, &target, out.data() + out.size(), &source, bytes.data() + bytes.size(),
                       nullptr, true, &status);
        if (U_FAILURE(status)) {
            ucnv_resetToUnicode(cnv);
            return {};
        }
        out.resize(static_cast<std::size_t>(target - out.data()));
    } catch (const std::exception&) {  // allocation failures
        return {};
    }
    return out;
}

std::string wide_char_to_multi_byte(int code_page, std::u16string_view units, unsigned flags) {
    std::string out;
    UConverter* cnv = converter_for(code_page);
    if (!cnv || units.empty()) return out;

    bool ascii = true;
    for (char16_t u : units) {
        if (u >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        out.resize(units.size());
        for (std::size_t i = 0; i < units.size(); ++i) out[i] = static_cast<char>(units[i]);
        return out;
    }

    try {
        std::u16string composed;
        if (flags & wc_composite_check) {
            const USet* target = code_page == cp_utf8 ? nullptr : gbk_repertoire();
            if (compose_pairs(units, target, composed)) units = composed;
        }

        // At most two bytes per unit in code page 936 and three in UTF-8.
        out.resize(units.size() * 3 + 1);
        ucnv_resetFromUnicode(cnv);
        UErrorCode status = U_ZERO_ERROR;
        char* target = out.data();
        const UChar* source = units.data();
        ucnv_fromUnicode(cnv, &target, out.data() + out.size(), &source,
                         units.data() + units.size(), nullptr, true, &status);
        if (U_FAILURE(status)) {
            ucnv_resetFromUnicode(cnv);
            return {};
        }
        out.resize(static_cast<std::size_t>(target - out.data()));
    } catch (const std::exception&) {  // allocation failures
        return {};
    }
    return out;
}

}  // namespace tavolen::codepage
