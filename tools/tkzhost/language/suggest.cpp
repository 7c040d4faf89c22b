// The nearest name to one misspelt (language.h).
#include "language.h"

#include <algorithm>
#include <cctype>

namespace tkzhost {

using host::Lower;

namespace {

// How many bytes must be added, dropped or changed (case aside) to make a
// into b.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t prev = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cur = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, prev + (tolower(a[i - 1]) != tolower(b[j - 1]))});
            prev = cur;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string Suggest(const std::string& name, const std::vector<std::string>& names) {
    std::string best;
    size_t bestD = 3;
    for (const std::string& n : names)  // the plugin's suffix left out
        if (Lower(n) == Lower(name) + "tkz") return " (did you mean " + n + "?)";
    for (const std::string& n : names) {
        size_t d = Distance(name, n);
        if (d > 0 && d < bestD) bestD = d, best = n;
    }
    return best.empty() ? "" : " (did you mean " + best + "?)";
}

}  // namespace tkzhost
