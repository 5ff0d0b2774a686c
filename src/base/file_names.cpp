#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/file_io.h"
#include "base/file_layer.h"
#include "base/text.h"

// Names without regard to letter case: lookup, listings and the folder cache.
namespace tidewire {

using namespace file_io;

namespace {

// Entry names of a folder, sorted in directory order; empty when it cannot be read.
std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = CompareIgnoringCase(a, b);
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

// The entry of a folder that equals `name` ignoring letter case, the first in name order; empty
// when there is none. One pass over the folder without sorting it: this runs for every file
// that is created, in folders that may hold thousands of entries.
std::string CaseVariant(const fs::path& folder, std::string_view name) {
  std::string found;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return found;
  while (dirent* entry = readdir(dir)) {
    const std::string_view entry_name = entry->d_name;
    if (entry_name == "." || entry_name == ".." || !EqualsIgnoringCase(entry_name, name)) continue;
    if (found.empty() || entry_name < found) found = entry_name;
  }
  closedir(dir);
  return found;
}

// The folders a FolderNameCache stands for, innermost last.
std::vector<FolderNameCache*>& ActiveCaches() {
  static std::vector<FolderNameCache*> caches;
  return caches;
}

fs::path AbsoluteFolder(const fs::path& folder) {
  std::error_code error;
  fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, error);
  if (error) absolute = folder;
  absolute = absolute.lexically_normal();
  if (!absolute.has_filename() && absolute != absolute.root_path()) {
    absolute = absolute.parent_path();
  }
  return absolute;
}

// The cache for a folder, or null.
FolderNameCache* CacheFor(const fs::path& folder) {
  if (ActiveCaches().empty()) return nullptr;
  const fs::path absolute = AbsoluteFolder(folder);
  for (auto it = ActiveCaches().rbegin(); it != ActiveCaches().rend(); ++it) {
    if ((*it)->folder() == absolute) return *it;
  }
  return nullptr;
}

}  // namespace

void file_io::NoteEntry(const fs::path& real, bool present) {
  if (ActiveCaches().empty()) return;
  FolderNameCache* cache = CacheFor(real.parent_path());
  if (cache != nullptr) cache->Note(real.filename().string(), present);
}

fs::path ResolvePath(const fs::path& path) {
  fs::path resolved;
  bool searching = true;
  for (const fs::path& part : path) {
    const std::string name = part.string();
    if (resolved.empty() && (part == path.root_path() || name == "/")) {
      resolved = part;
      continue;
    }
    fs::path candidate = resolved / part;
    if (searching && name != "." && name != ".." && !Exists(candidate)) {
      const fs::path folder = resolved.empty() ? fs::path(".") : resolved;
      const FolderNameCache* cache = CacheFor(folder);
      const std::string entry =
          cache != nullptr ? cache->CaseVariant(name) : CaseVariant(folder, name);
      searching = !entry.empty();
      if (searching) candidate = resolved / entry;
    }
    resolved = std::move(candidate);
  }
  return resolved;
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  // Iterative match with one backtrack point for the last "*".
  std::size_t n = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || EqualsIgnoringCase(pattern.substr(p, 1), name.substr(n, 1)))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> ListFiles(const fs::path& folder, std::string_view pattern) {
  const fs::path real = ResolvePath(folder.empty() ? fs::path(".") : folder);
  std::vector<std::string> result;
  for (std::string& name : FolderEntries(real)) {
    if (!MatchesWildcard(name, pattern)) continue;
    struct stat st {};
    if (stat((real / name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      result.push_back(std::move(name));
    }
  }
  return result;
}

// --- FolderNameCache

FolderNameCache::FolderNameCache(const fs::path& folder)
    : folder_(AbsoluteFolder(ResolvePath(folder))) {
  DIR* dir = opendir(folder_.c_str());
  if (dir == nullptr) IoError::ThrowFromErrno(errno, folder.string());
  while (dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") Note(std::string(name), true);
  }
  closedir(dir);
  ActiveCaches().push_back(this);
}

FolderNameCache::~FolderNameCache() {
  auto& caches = ActiveCaches();
  caches.erase(std::remove(caches.begin(), caches.end(), this), caches.end());
}

std::string FolderNameCache::CaseVariant(std::string_view name) const {
  const auto it = names_.find(UpperCopy(name));
  return it == names_.end() || it->second.empty() ? std::string() : *it->second.begin();
}

void FolderNameCache::Note(const std::string& name, bool present) {
  if (present) {
    names_[UpperCopy(name)].insert(name);
    return;
  }
  const auto it = names_.find(UpperCopy(name));
  if (it == names_.end()) return;
  it->second.erase(name);
  if (it->second.empty()) names_.erase(it);
}

}  // namespace tidewire
