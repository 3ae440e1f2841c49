#include "cleaner/FolderWalk.h"

#include <algorithm>

#include "cleaner/COutput.h"
#include "cleaner/Exclusions.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "platform/protected_folders.h"

namespace sweepwell {

namespace {

// Folders below the newest ones give their handles back; the start folder keeps its own.
constexpr size_t kOpenFolders = 64;

}  // namespace

void ProcessPendingEvents(COutput& output) { output.ProcessPendingEvents(true); }

bool FilePassVisitor::VisitChild(FolderWalk& walk, WalkFolder&, const platform::FindRecord& entry) {
  return recursive_ && IsEnterableSubfolderEntry(walk.run(), entry.attributes, entry.name);
}

void WalkEnterableFolder(RunContext& run, const std::string& path, FolderVisitor& visitor) {
  // Only with the switch on may the folder found enterable be a junction.
  if (IsEnterableFolder(run, path)) FolderWalk(run).Run(path, visitor, run.GoBelowJunctions);
}

FolderWalk::FolderWalk(RunContext& run)
    : run_(run), output_(*run.Output), files_(*run.file_system) {}

const std::string& FolderWalk::EntryPath(std::string_view name) {
  path_.resize(stack_.back().path_length);
  if (!path_.empty() && path_.back() != platform::kPathSeparator) {
    path_ += platform::kPathSeparator;
  }
  path_ += name;
  return path_;
}

namespace {

std::pair<uint64_t, uint64_t> Key(const platform::FolderId& id) { return {id.device, id.inode}; }

}  // namespace

bool FolderWalk::Run(const std::string& path, FolderVisitor& visitor, bool start_may_be_link) {
  stack_.clear();
  on_path_.clear();
  path_ = path;
  resolved_start_.clear();
  if (!run_.Exclusions.empty()) resolved_start_ = platform::ResolvedFolderPath(path);
  WalkFolder start;
  uint32_t error = 0;
  start.folder = files_.OpenFolder(path, &error, start_may_be_link);
  start.path_length = path.size();
  if (start.folder.IsOpen()) {
    start.id = start.folder.Id();
    on_path_.insert(Key(start.id));
    start.list.InitList(files_, start.folder, visitor.DescribesFilesItself());
  }
  start.deletions_before = Deletions();
  start.path_key = PathKeyOf(path);
  start.near_exclusion =
      !run_.Exclusions.path_keys.empty() && LeadsToExcludedPath(run_, resolved_start_);
  stack_.push_back(std::move(start));
  KeepOut(stack_.back());
  visitor.VisitFolder(*this, stack_.back());

  for (;;) {
    WalkFolder& top = stack_.back();
    const auto& entries = top.list.Entries();
    if (top.next_child < entries.size()) {
      const platform::FindRecord& entry = entries[top.next_child++];
      if (visitor.VisitChild(*this, top, entry)) {
        Push(entry, visitor);
      } else {
        ProcessPendingEvents(output_);
      }
      continue;
    }
    // The folder is done: hand its result to the parent.
    WalkFolder child = std::move(stack_.back());
    NoteWrittenByRun(child);
    stack_.pop_back();
    if (child.id != platform::FolderId()) on_path_.erase(Key(child.id));
    if (stack_.empty()) return child.result;
    WalkFolder& parent = stack_.back();
    path_.resize(parent.path_length);
    if (!parent.folder.IsOpen() && !Reopen(stack_.size() - 1, child.folder)) {
      // The folder is gone or was replaced while its subtree was walked: leave it alone.
      parent.next_child = parent.list.Count();
      parent.result = false;
      continue;
    }
    visitor.LeaveChild(*this, parent, parent.list.Entries()[parent.next_child - 1], child.result);
    ProcessPendingEvents(output_);
  }
}

void FolderWalk::Push(const platform::FindRecord& entry, FolderVisitor& visitor) {
  WalkFolder child;
  uint32_t error = 0;
  child.name = entry.name;
  // A folder listed as a real one is entered only as such: were it swapped for a link in the
  // meantime, following it could lead the walk outside the tree it was asked to work on.
  bool follow = (entry.attributes & platform::attr::kReparsePoint) != 0;
  child.folder = files_.OpenEntry(stack_.back().folder, entry.name, &error, follow);
  EntryPath(entry.name);
  child.path_length = path_.size();
  if (child.folder.IsOpen() && !on_path_.insert(Key(child.folder.Id())).second) {
    child.folder.Close();  // a loop back to a folder on the path: nothing to list here
  }
  if (child.folder.IsOpen()) {
    child.id = child.folder.Id();
    child.list.InitList(files_, child.folder, visitor.DescribesFilesItself());
  }
  child.deletions_before = Deletions();
  child.path_key = ChildPathKey(stack_.back().path_key, entry.name);
  child.near_exclusion =
      stack_.back().near_exclusion && LeadsToExcludedPath(run_, ResolvedEntryPath(entry.name));
  stack_.push_back(std::move(child));
  KeepOut(stack_.back());
  CloseDeepAncestors();
  visitor.VisitFolder(*this, stack_.back());
}

uint64_t ChildPathKey(uint64_t parent, std::string_view name) {
  // FNV-1a over a separator and the name's bytes.
  constexpr uint64_t kPrime = 1099511628211ull;
  uint64_t key = (parent ^ 0x2f) * kPrime;
  for (unsigned char c : name) key = (key ^ c) * kPrime;
  return key;
}

uint64_t PathKeyOf(std::string_view path) {
  uint64_t key = 14695981039346656037ull;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && path[end] != platform::kPathSeparator && path[end] != '/') ++end;
    if (end > start) key = ChildPathKey(key, path.substr(start, end - start));
    start = end + 1;
  }
  return key;
}

double FolderWalk::Deletions() const {
  const DeletionTotals& totals = output_.Deletion().Totals();
  return totals.DeletedFiles + totals.DeletedFolders + totals.DeletedJunctions;
}

// Deleting in a folder writes it, and a folder the run has just emptied would then look too
// young to the minimum age of the empty-folder commands (and differently in a preview, which
// writes nothing): the run keeps the write time each folder had when it was first listed
// before the run deleted in it (or below it).
void FolderWalk::NoteWrittenByRun(const WalkFolder& folder) {
  if (Deletions() == folder.deletions_before) return;
  for (const platform::FindRecord& entry : folder.list.Entries()) {
    if (entry.name != ".") continue;
    run_.FolderTimesBeforeRun.emplace(folder.path_key, entry.last_write_time);
    return;
  }
}

// The entry's path below the start, put after the start's resolved form.
std::string FolderWalk::ResolvedEntryPath(std::string_view name) {
  const std::string& path = EntryPath(name);
  size_t below = std::min(stack_.front().path_length, path.size());
  while (below < path.size() && (path[below] == platform::kPathSeparator || path[below] == '/')) {
    ++below;
  }
  std::string resolved = resolved_start_;
  if (resolved.empty() || resolved.back() != platform::kPathSeparator) {
    resolved += platform::kPathSeparator;
  }
  resolved.append(path, below);
  return resolved;
}

// Only the folders on the way to an excluded path have their entries' paths built, so a deep
// tree costs no more than the masks' look at each name.
void FolderWalk::KeepOut(WalkFolder& folder) {
  if (run_.Exclusions.empty()) return;
  const size_t dropped = std::erase_if(folder.list.Entries(), [&](const platform::FindRecord& e) {
    if (e.name == "." || e.name == "..") return false;
    if (IsExcludedName(run_, e.name)) return true;
    return folder.near_exclusion && IsExcludedEntry(run_, ResolvedEntryPath(e.name), e.name);
  });
  if (dropped > 0) folder.result = false;
}

void FolderWalk::CloseDeepAncestors() {
  if (stack_.size() <= kOpenFolders + 1) return;
  size_t index = stack_.size() - 1 - kOpenFolders;
  if (index > 0) stack_[index].folder.Close();
}

bool FolderWalk::Reopen(size_t index, const platform::Folder& child) {
  WalkFolder& folder = stack_[index];
  uint32_t error = 0;
  if (child.IsOpen()) {
    folder.folder = files_.OpenEntryVerified(child, "..", folder.id, &error);
    if (folder.folder.IsOpen()) return true;
  }
  // Entered through a link, or moved: come down again by names from the nearest open ancestor,
  // checking each folder on the way.
  size_t open = index;
  while (open > 0 && !stack_[open].folder.IsOpen()) --open;
  if (!stack_[open].folder.IsOpen()) return false;
  for (size_t k = open + 1; k <= index; ++k) {
    stack_[k].folder =
        files_.OpenEntryVerified(stack_[k - 1].folder, stack_[k].name, stack_[k].id, &error);
    if (!stack_[k].folder.IsOpen()) return false;
  }
  for (size_t k = open + 1; k < index && k + kOpenFolders < stack_.size(); ++k) {
    stack_[k].folder.Close();
  }
  return true;
}

}  // namespace sweepwell
