#include "platform/vbregexp/vb_regexp.h"

#include <memory>
#include <utility>

#include "platform/vbregexp/regexp_engine.h"

namespace tavolen::vbregexp {
namespace {

using com::HResult;
using com::InvokeKind;
using com::Variant;
using com::VarType;

// A readable member answers a property get, and a call without arguments as well: late-bound
// callers do not always know which of the two a member is.
bool is_read(InvokeKind kind, std::span<Variant> args) {
    return kind == InvokeKind::property_get || (kind == InvokeKind::method && args.empty());
}

HResult read_index(std::span<Variant> args, std::size_t count, std::size_t& index) {
    if (args.size() != 1) return com::hr_bad_param_count;
    Variant converted;
    if (com::failed(com::variant_change_type(converted, args[0], VarType::i4)))
        return com::hr_type_mismatch;
    const std::int32_t i = *converted.i4();
    if (i < 0 || static_cast<std::size_t>(i) >= count) return com::hr_bad_index;
    index = static_cast<std::size_t>(i);
    return com::hr_ok;
}

HResult read_text(const Variant& arg, std::u16string& text) {
    Variant converted;
    HResult hr = com::variant_change_type(converted, arg, VarType::bstr);
    if (com::failed(hr)) return hr;
    text = std::move(*converted.bstr());
    return com::hr_ok;
}

class SubMatches final : public com::Dispatch {
  public:
    SubMatches(std::shared_ptr<const MatchList> list, std::size_t match)
        : list_(std::move(list)), match_(match) {}

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (com::same_name(name, "Count")) {
            if (!is_read(kind, args)) return com::hr_member_not_found;
            result = Variant::from_i4(list_->groups);
            return com::hr_ok;
        }
        if (name.empty() || com::same_name(name, "Item")) {
            if (kind == InvokeKind::property_put) return com::hr_member_not_found;
            std::size_t group = 0;
            HResult hr = read_index(args, static_cast<std::size_t>(list_->groups), group);
            if (com::failed(hr)) return hr;
            // A group that took no part is empty, not an empty text.
            const int g = static_cast<int>(group) + 1;
            if (list_->group_matched(match_, g))
                result = Variant::from_bstr(std::u16string(list_->text(match_, g)));
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }

  private:
    std::shared_ptr<const MatchList> list_;
    std::size_t match_;
};

class Match final : public com::Dispatch {
  public:
    Match(std::shared_ptr<const MatchList> list, std::size_t match)
        : list_(std::move(list)), match_(match) {}

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (name.empty() || com::same_name(name, "Value")) {
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_bstr(std::u16string(list_->text(match_, 0)));
            return com::hr_ok;
        }
        if (com::same_name(name, "FirstIndex")) {
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_i4(list_->begin(match_, 0));
            return com::hr_ok;
        }
        if (com::same_name(name, "Length")) {
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_i4(list_->end(match_, 0) - list_->begin(match_, 0));
            return com::hr_ok;
        }
        if (com::same_name(name, "SubMatches")) {
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_dispatch(com::make_com<SubMatches>(list_, match_));
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }

  private:
    std::shared_ptr<const MatchList> list_;
    std::size_t match_;
};

class MatchCollection final : public com::Dispatch {
  public:
    explicit MatchCollection(std::shared_ptr<const MatchList> list) : list_(std::move(list)) {}

    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (com::same_name(name, "Count")) {
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_i4(static_cast<std::int32_t>(list_->count()));
            return com::hr_ok;
        }
        if (name.empty() || com::same_name(name, "Item")) {
            if (kind == InvokeKind::property_put) return com::hr_member_not_found;
            std::size_t index = 0;
            HResult hr = read_index(args, list_->count(), index);
            if (com::failed(hr)) return hr;
            result = Variant::from_dispatch(com::make_com<Match>(list_, index));
            return com::hr_ok;
        }
        return com::hr_unknown_name;
    }

  private:
    std::shared_ptr<const MatchList> list_;
};

class RegExp final : public com::Dispatch {
  public:
    HResult invoke(std::string_view name, InvokeKind kind, std::span<Variant> args,
                   Variant& result) override {
        if (com::same_name(name, "Pattern")) {
            if (kind == InvokeKind::property_put) {
                if (args.size() != 1) return com::hr_bad_param_count;
                std::u16string pattern;
                HResult hr = read_text(args[0], pattern);
                if (com::failed(hr)) return hr;
                if (pattern != pattern_) compiled_.reset();
                pattern_ = std::move(pattern);
                return com::hr_ok;
            }
            if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
            result = Variant::from_bstr(pattern_);
            return com::hr_ok;
        }
        if (com::same_name(name, "IgnoreCase"))
            return flag(options_.ignore_case, kind, args, result);
        if (com::same_name(name, "Multiline")) return flag(options_.multiline, kind, args, result);
        if (com::same_name(name, "Global")) return flag(global_, kind, args, result);
        if (com::same_name(name, "Execute")) return execute(kind, args, result);
        if (com::same_name(name, "Test")) return test(kind, args, result);
        if (com::same_name(name, "Replace")) return replace(kind, args, result);
        return com::hr_unknown_name;
    }

  private:
    HResult flag(bool& value, InvokeKind kind, std::span<Variant> args, Variant& result) {
        if (kind == InvokeKind::property_put) {
            if (args.size() != 1) return com::hr_bad_param_count;
            Variant converted;
            HResult hr = com::variant_change_type(converted, args[0], VarType::boolean);
            if (com::failed(hr)) return hr;
            const bool changed = value != *converted.boolean();
            value = *converted.boolean();
            // Global does not take part in compiling; the other two do.
            if (changed && &value != &global_) compiled_.reset();
            return com::hr_ok;
        }
        if (!is_read(kind, args) || !args.empty()) return com::hr_member_not_found;
        result = Variant::from_bool(value);
        return com::hr_ok;
    }

    // The compiled pattern stays while Pattern, IgnoreCase and Multiline stay the same.
    const CompiledPattern* compiled() {
        if (!compiled_) compiled_ = compile_pattern(pattern_, options_);
        return compiled_.get();
    }

    // Runs the search that Execute, Test and Replace share.
    HResult run(std::span<Variant> args, std::size_t expected, bool global,
                std::shared_ptr<MatchList>& list) {
        if (args.size() != expected) return com::hr_bad_param_count;
        std::u16string subject;
        HResult hr = read_text(args[0], subject);
        if (com::failed(hr)) return hr;
        const CompiledPattern* pattern = compiled();
        if (!pattern) return com::hr_exception;  // the engine's syntax error
        list = std::make_shared<MatchList>();
        if (search(*pattern, std::move(subject), global, *list) != SearchStatus::ok) {
            list.reset();
            return com::hr_exception;
        }
        return com::hr_ok;
    }

    HResult execute(InvokeKind kind, std::span<Variant> args, Variant& result) {
        if (kind == InvokeKind::property_put) return com::hr_member_not_found;
        std::shared_ptr<MatchList> list;
        HResult hr = run(args, 1, global_, list);
        if (com::failed(hr)) return hr;
        result = Variant::from_dispatch(com::make_com<MatchCollection>(std::move(list)));
        return com::hr_ok;
    }

    HResult test(InvokeKind kind, std::span<Variant> args, Variant& result) {
        if (kind == InvokeKind::property_put) return com::hr_member_not_found;
        std::shared_ptr<MatchList> list;
        HResult hr = run(args, 1, false, list);
        if (com::failed(hr)) return hr;
        result = Variant::from_bool(list->count() > 0);
        return com::hr_ok;
    }

    HResult replace(InvokeKind kind, std::span<Variant> args, Variant& result) {
        if (kind == InvokeKind::property_put) return com::hr_member_not_found;
        if (args.size() != 2) return com::hr_bad_param_count;
        std::u16string replacement;
        HResult hr = read_text(args[1], replacement);
        if (com::failed(hr)) return hr;
        std::shared_ptr<MatchList> list;
        hr = run(args.first(1), 1, global_, list);
        if (com::failed(hr)) return hr;
        result = Variant::from_bstr(replace_matches(*list, replacement));
        return com::hr_ok;
    }

    std::u16string pattern_;
    RegexOptions options_;
    bool global_ = false;
    std::shared_ptr<const CompiledPattern> compiled_;
};

}  // namespace

com::DispatchPtr create_vb_regexp() {
    return com::make_com<RegExp>();
}

}  // namespace tavolen::vbregexp
