#include "packages/VersionCheck.h"

#include <cstdint>
#include <vector>

namespace qv {
namespace {

std::vector<std::u16string> Fields(const WideString& version) {
    std::vector<std::u16string> fields(1);
    for (char16_t c : version.str()) {
        if (c == u'.') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

bool IsNumber(const std::u16string& field) {
    if (field.empty()) return false;
    for (char16_t c : field)
        if (c < u'0' || c > u'9') return false;
    return true;
}

int CompareNumbers(const std::u16string& a, const std::u16string& b) {
    size_t i = a.find_first_not_of(u'0'), j = b.find_first_not_of(u'0');
    std::u16string x = i == std::u16string::npos ? u"" : a.substr(i);
    std::u16string y = j == std::u16string::npos ? u"" : b.substr(j);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    int r = x.compare(y);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareFields(const std::u16string& a, const std::u16string& b) {
    // A missing field counts as 0.
    const std::u16string& x = a.empty() ? u"0" : a;
    const std::u16string& y = b.empty() ? u"0" : b;
    if (IsNumber(x) && IsNumber(y)) return CompareNumbers(x, y);
    int r = x.compare(y);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareFirst(const WideString& left, const WideString& right, size_t most) {
    std::vector<std::u16string> a = Fields(left), b = Fields(right);
    size_t n = a.size() > b.size() ? a.size() : b.size();
    if (n > most) n = most;
    a.resize(n), b.resize(n);
    for (size_t i = 0; i < n; ++i) {
        int r = CompareFields(a[i], b[i]);
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
