#include "platform/adostream/ado_stream.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/codepage/codepage.h"

namespace tavolen::adostream {
namespace {

using com::HResult;
using com::InvokeKind;
using com::Variant;
using com::VarType;

constexpr std::int32_t type_binary = 1;
constexpr std::int32_t type_text = 2;

enum class Charset { gbk, utf8, unicode };

bool ascii_iequal(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        if (x >= u'A' && x <= u'Z') x += 32;
        if (x != static_cast<unsigned char>(b[i])) return false;
    }
    return true;
}

bool parse_charset(std::u16string_view name, Charset& charset, std::u16string& canonical) {
    if (ascii_iequal(name, "gbk") || ascii_iequal(name, "gb2312")) {
        charset = Charset::gbk;
    } else if (ascii_iequal(name, "utf-8")) {
        charset = Charset::utf8;
    } else if (ascii_iequal(name, "unicode")) {
        charset = Charset::unicode;
    } else {
        return false;
    }
    canonical = name;
    return true;
}

HResult to_i4(const Variant& arg, std::int32_t& out) {
    Variant converted;
    HResult hr = com::variant_change_type(converted, arg, VarType::i4);
    if (com::failed(hr)) return hr;
    out = *converted.i4();
    return com::hr_ok;
}

HResult answer(Variant& result, Variant value) {
    result = std::move(value);
    return com::hr_ok;
}

class AdoStream final : public com::Dispatch {
  public:
    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        const bool get = kind == InvokeKind::property_get && args.empty();
        const bool put = kind == InvokeKind::property_put && args.size() == 1;
        const bool call = kind == InvokeKind::method;

        if (com::same_name(name, "Type")) {
            if (get) return answer(result, Variant::from_i4(type_));
            if (!put) return com::hr_member_not_found;
            std::int32_t value = 0;
            if (HResult hr = to_i4(args[0].deref(), value); com::failed(hr)) return hr;
            if (value != type_binary && value != type_text) return com::hr_invalid_arg;
            if (position_ != 0) return com::hr_fail;  // the type changes only at the start
            type_ = value;
            return com::hr_ok;
        }
        if (com::same_name(name, "Mode")) {
            if (get) return answer(result, Variant::from_i4(mode_));
            if (!put) return com::hr_member_not_found;
            if (open_) return com::hr_fail;  // as for a real stream: set before Open
            return to_i4(args[0].deref(), mode_);
        }
        if (com::same_name(name, "State")) {
            if (!get) return com::hr_member_not_found;
            return answer(result, Variant::from_i4(open_ ? 1 : 0));
        }
        if (com::same_name(name, "Charset")) {
            if (get) return answer(result, Variant::from_bstr(charset_name_));
            if (!put) return com::hr_member_not_found;
            Variant text;
            if (HResult hr = com::variant_change_type(text, args[0].deref(), VarType::bstr);
                com::failed(hr))
                return hr;
            if (open_ && position_ != 0) return com::hr_fail;
            Charset parsed;
            std::u16string canonical;
            if (!parse_charset(*text.bstr(), parsed, canonical)) return com::hr_invalid_arg;
            charset_ = parsed;
            charset_name_ = std::move(canonical);
            return com::hr_ok;
        }
        if (com::same_name(name, "Open")) {
            if (!call) return com::hr_member_not_found;
            if (open_) return com::hr_fail;
            open_ = true;
            bytes_.clear();
            position_ = 0;
            return com::hr_ok;
        }
        if (com::same_name(name, "Close")) {
            if (!call || !args.empty()) return com::hr_member_not_found;
            if (!open_) return com::hr_fail;
            open_ = false;
            bytes_.clear();
            bytes_.shrink_to_fit();
            position_ = 0;
            return com::hr_ok;
        }
        if (!open_) {
            if (com::same_name(name, "Write") || com::same_name(name, "ReadText") ||
                com::same_name(name, "Position") || com::same_name(name, "Size"))
                return com::hr_fail;
            return com::hr_unknown_name;
        }
        if (com::same_name(name, "Size")) {
            if (!get) return com::hr_member_not_found;
            return answer(result, Variant::from_i4(static_cast<std::int32_t>(bytes_.size())));
        }
        if (com::same_name(name, "Position")) {
            if (get) return answer(result, Variant::from_i4(static_cast<std::int32_t>(position_)));
            if (!put) return com::hr_member_not_found;
            std::int32_t value = 0;
            if (HResult hr = to_i4(args[0].deref(), value); com::failed(hr)) return hr;
            if (value < 0 || static_cast<std::size_t>(value) > bytes_.size())
                return com::hr_invalid_arg;
            position_ = static_cast<std::size_t>(value);
            return com::hr_ok;
        }
        if (com::same_name(name, "Write")) {
            if (!call) return com::hr_member_not_found;
            if (args.size() != 1) return com::hr_bad_param_count;
            if (type_ != type_binary) return com::hr_fail;
            const com::ByteArray* data = args[0].deref().bytes();
            if (!data) return com::hr_type_mismatch;
            if (bytes_.size() < position_ + data->size()) bytes_.resize(position_ + data->size());
            std::copy(data->begin(), data->end(), bytes_.begin() + position_);
            position_ += data->size();
            return com::hr_ok;
        }
        if (com::same_name(name, "ReadText")) {
            if (!call) return com::hr_member_not_found;
            if (args.size() > 1) return com::hr_bad_param_count;
            if (type_ != type_text) return com::hr_fail;
            std::int32_t count = -1;  // all
            if (args.size() == 1)
                if (HResult hr = to_i4(args[0].deref(), count); com::failed(hr)) return hr;
            result = Variant::from_bstr(read_text(count));
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }

  private:
    std::u16string read_text(std::int32_t count) {
        std::string_view rest(reinterpret_cast<const char*>(bytes_.data()) + position_,
                              bytes_.size() - position_);
        std::u16string text;
        switch (charset_) {
            case Charset::gbk:
                text = codepage::multi_byte_to_wide_char(codepage::cp_gbk, rest);
                break;
            case Charset::utf8:
                // A byte-order mark at the start of the stream is not part of the text.
                if (position_ == 0 && rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
                text = codepage::multi_byte_to_wide_char(codepage::cp_utf8, rest);
                break;
            case Charset::unicode:
                if (position_ == 0 && rest.starts_with("\xFF\xFE")) rest.remove_prefix(2);
                for (std::size_t i = 0; i + 1 < rest.size(); i += 2)
                    text += static_cast<char16_t>(static_cast<unsigned char>(rest[i]) |
                                                  static_cast<unsigned char>(rest[i + 1]) << 8);
                break;
        }
        if (count >= 0 && static_cast<std::size_t>(count) < text.size()) {
            // A partial read: the position moves past the bytes of the characters taken.
            text.resize(static_cast<std::size_t>(count));
            position_ += encoded_size(text);
        } else {
            position_ = bytes_.size();
        }
        return text;
    }

    std::size_t encoded_size(std::u16string_view text) const {
        switch (charset_) {
            case Charset::gbk:
                return codepage::wide_char_to_multi_byte(codepage::cp_gbk, text).size();
            case Charset::utf8:
                return codepage::wide_char_to_multi_byte(codepage::cp_utf8, text).size();
            case Charset::unicode:
                return text.size() * 2;
        }
        return 0;
    }

    bool open_ = false;
    std::int32_t type_ = type_binary;
    std::int32_t mode_ = 0;
    Charset charset_ = Charset::unicode;
    std::u16string charset_name_ = u"Unicode";
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace

com::DispatchPtr create_ado_stream() {
    return com::make_com<AdoStream>();
}

}  // namespace tavolen::adostream
