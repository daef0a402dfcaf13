// Reading of profile (ini) files with the Windows rules.
//
// A file is read whole at each call, as Windows does for a file it does not
// cache. Lines are "[section]", "key = value", comments starting with ';',
// or blank; a line in a section without '=' is a key with an empty value.
// Sections and keys compare without regard to ASCII case; the first of
// duplicates wins. Blanks around names and values are dropped, and then
// one pair of matching quotes (' or ") around a value. A file name without
// a directory is looked for in the current directory (Windows would look
// in its own directory).
#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files.h"
#include "runtime.h"

namespace w32 {
namespace {

struct Entry {
  std::string key;
  std::string value;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string &s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string &a, const char *b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool Load(const char *fileName, std::vector<Section> &sections) {
  std::ifstream in(HostPath(fileName), std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = Trim(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      sections.push_back(Section{Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)), {}});
      continue;
    }
    if (sections.empty()) continue;  // keys before the first section belong to none
    size_t eq = line.find('=');
    Entry entry;
    entry.key = Trim(line.substr(0, eq));
    if (eq != std::string::npos) entry.value = Trim(line.substr(eq + 1));
    if (!entry.key.empty()) sections.back().entries.push_back(std::move(entry));
  }
  return true;
}

const Section *FindSection(const std::vector<Section> &sections, const char *name) {
  for (const Section &s : sections) {
    if (SameName(s.name, name)) return &s;
  }
  return nullptr;
}

const Entry *FindEntry(const Section &section, const char *key) {
  for (const Entry &e : section.entries) {
    if (SameName(e.key, key)) return &e;
  }
  return nullptr;
}

std::string Unquote(const std::string &value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// One value: truncated to nSize - 1 characters and terminated.
DWORD CopyValue(const std::string &value, char *out, DWORD size) {
  if (size == 0) return 0;
  size_t n = value.size() < size ? value.size() : size - 1;
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

// A list of names, each terminated, the list ended by one more '\0'. When
// it does not fit, the last name is cut, two terminators end it, and the
// count is nSize - 2.
DWORD CopyList(const std::vector<std::string> &names, char *out, DWORD size) {
  if (size == 0) return 0;
  if (size == 1) {
    out[0] = '\0';
    return 0;
  }
  std::string stream;
  for (const std::string &n : names) {
    stream += n;
    stream += '\0';
  }
  if (stream.size() + 1 <= size) {
    std::memcpy(out, stream.data(), stream.size());
    out[stream.size()] = '\0';
    if (stream.empty()) out[1] = '\0';
    return static_cast<DWORD>(stream.size());
  }
  std::memcpy(out, stream.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

void AddUnique(std::vector<std::string> &names, const std::string &name) {
  for (const std::string &n : names) {
    if (SameName(n, name.c_str())) return;
  }
  names.push_back(name);
}

// The value of a key, unquoted; false when the file, section or key is
// missing.
bool LookUp(const char *section, const char *key, const char *fileName, std::string &value) {
  std::vector<Section> sections;
  if (fileName == nullptr || !Load(fileName, sections)) {
    SetError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  const Section *s = FindSection(sections, section);
  const Entry *e = s != nullptr ? FindEntry(*s, key) : nullptr;
  if (e == nullptr) return false;
  value = Unquote(e->value);
  return true;
}

}  // namespace
}  // namespace w32

using namespace w32;

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName) noexcept {
  return Guard<DWORD>(0, [&]() -> DWORD {
    if (lpReturnedString == nullptr) return 0;
    if (lpAppName == nullptr || lpKeyName == nullptr) {
      std::vector<Section> sections;
      std::vector<std::string> names;
      if (lpFileName == nullptr || !Load(lpFileName, sections)) {
        SetError(ERROR_FILE_NOT_FOUND);
      } else if (lpAppName == nullptr) {
        for (const Section &s : sections) AddUnique(names, s.name);
      } else if (const Section *s = FindSection(sections, lpAppName)) {
        for (const Entry &e : s->entries) AddUnique(names, e.key);
      }
      return CopyList(names, lpReturnedString, nSize);
    }
    std::string value;
    if (!LookUp(lpAppName, lpKeyName, lpFileName, value)) {
      // The default loses its trailing blanks.
      value = lpDefault != nullptr ? lpDefault : "";
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    }
    return CopyValue(value, lpReturnedString, nSize);
  });
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) noexcept {
  return Guard<UINT>(static_cast<UINT>(nDefault), [&]() -> UINT {
    std::string value;
    if (lpAppName == nullptr || lpKeyName == nullptr || !LookUp(lpAppName, lpKeyName, lpFileName, value) ||
        value.empty()) {
      return static_cast<UINT>(nDefault);
    }
    size_t i = 0;
    while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i]))) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    int64_t magnitude = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
      magnitude = magnitude * 10 + (value[i] - '0');
      if (magnitude > static_cast<int64_t>(INT_MAX) + 1) magnitude = static_cast<int64_t>(INT_MAX) + 1;
    }
    int64_t number = negative ? -magnitude : magnitude;
    if (number > INT_MAX) number = INT_MAX;
    return static_cast<UINT>(static_cast<int32_t>(number));
  });
}
