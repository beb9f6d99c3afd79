#include "decide/VersionCheck.h"

#include <cstdint>
#include <string_view>

namespace qv {
namespace {

using Field = std::u16string_view;

// The field from `at` to the next dot, and `at` past that dot; "0" once the text is used up.
Field NextField(Field version, size_t& at) {
    if (at > version.size()) return u"0";
    size_t dot = version.find(u'.', at);
    if (dot == Field::npos) dot = version.size();
    Field field = version.substr(at, dot - at);
    at = dot + 1;
    return field.empty() ? Field(u"0") : field;
}

bool IsNumber(Field field) {
    for (char16_t c : field)
        if (c < u'0' || c > u'9') return false;
    return true;
}

int Sign(int r) {
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// Numbers by value (leading zeros ignored), anything else code unit by code unit.
int CompareFields(Field a, Field b) {
    if (IsNumber(a) && IsNumber(b)) {
        a.remove_prefix(a.find_first_not_of(u'0') == Field::npos ? a.size()
                                                                 : a.find_first_not_of(u'0'));
        b.remove_prefix(b.find_first_not_of(u'0') == Field::npos ? b.size()
                                                                 : b.find_first_not_of(u'0'));
        if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    }
    return Sign(a.compare(b));
}

int CompareFirst(const WideString& left, const WideString& right, size_t most) {
    Field a = left.str(), b = right.str();
    size_t i = 0, j = 0;
    for (size_t n = 0; n < most && (i <= a.size() || j <= b.size()); ++n) {
        int r = CompareFields(NextField(a, i), NextField(b, j));
        if (r != 0) return r;
    }
    return 0;
}

}  // namespace

int CompareVersions(const WideString& left, const WideString& right) {
    return CompareFirst(left, right, SIZE_MAX);
}

int CompareUpgradeVersions(const WideString& left, const WideString& right) {
    return CompareFirst(left, right, 3);
}

}  // namespace qv
