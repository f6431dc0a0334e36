#include "cli/device_match.h"

#include <cstddef>

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool containsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t start = 0; start + part.size() <= text.size(); ++start) {
    size_t k = 0;
    while (k < part.size() && lowerAscii(text[start + k]) == lowerAscii(part[k])) ++k;
    if (k == part.size()) return true;
  }
  return false;
}

// The outcome for the candidates found: one is the match, none or several an
// error naming them.
DeviceMatch choose(const std::vector<std::string>& names, const std::vector<int>& found,
                   std::string_view query, std::string_view direction) {
  DeviceMatch m;
  if (found.size() == 1) {
    m.ok = true;
    m.index = found[0];
    return m;
  }
  if (found.empty()) {
    m.error = "no " + std::string(direction) + " device matches '" + std::string(query) + "'";
    return m;
  }
  m.error.assign(1, '\'');  // appended: GCC 12 warns wrongly about "'" + std::string(...)
  m.error += query;
  m.error += "' matches " + std::to_string(found.size()) + " ";
  m.error += direction;
  m.error += " devices: ";
  for (size_t i = 0; i < found.size(); ++i) {
    if (i > 0) m.error += ", ";
    m.error += names[static_cast<size_t>(found[i])];
  }
  return m;
}

}  // namespace

DeviceMatch matchDevice(const std::vector<std::string>& names, std::string_view query,
                        std::string_view direction) {
  if (query.empty()) {
    DeviceMatch m;
    m.error = "no " + std::string(direction) + " device name given";
    return m;
  }
  std::vector<int> exact;
  std::vector<int> partial;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == query) exact.push_back(static_cast<int>(i));
    if (containsIgnoringCase(names[i], query)) partial.push_back(static_cast<int>(i));
  }
  return choose(names, exact.empty() ? partial : exact, query, direction);
}
