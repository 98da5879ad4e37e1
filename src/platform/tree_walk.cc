#include "platform/tree_walk.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvane::platform {
namespace {

// Folders held open below the root at most; deeper ones are opened again when the walk comes
// back to them.
constexpr std::size_t kOpenFolders = 16;

struct Item {
  std::string name;
  FileType type;
  bool viaLink;
  std::uint64_t inode;              // as listed; 0 when not told
  FileStatus target;                // of what a followed link leads to
  std::optional<FileError> broken;  // a followed link that closes a loop of links
};

bool outOfDescriptors(const FileError& error) { return error.code == EMFILE || error.code == ENFILE; }

struct Frame {
  std::unique_ptr<Directory> owned;  // none for the root, which the caller holds, or once let go
  const Directory* directory = nullptr;
  FileStatus identity;
  std::size_t pathLength = 0;  // of this folder's path in the walk's path
  std::vector<Item> items;
  std::size_t next = 0;
};

class Walk {
 public:
  Walk(FileSystem& fileSystem, const Directory& root, const WalkOptions& options, const TreeVisitor& visitor)
      : files_(fileSystem), root_(root), options_(options), visitor_(visitor) {}

  void run() {
    Frame top;
    top.directory = &root_;
    if (const auto identity = root_.status()) top.identity = *identity;
    frames_.push_back(std::move(top));
    list(frames_.back());
    while (!frames_.empty()) {
      if (visitor_.keepGoing && !visitor_.keepGoing()) return;
      Frame& frame = frames_.back();
      // Back in a folder that was let go: open it again before looking at what it holds.
      if (frame.next < frame.items.size() && frame.directory == nullptr) ensureOpen(frame);
      if (frame.next == frame.items.size()) {
        reopenParentFrom(frame);
        frames_.pop_back();
        if (!frames_.empty()) path_.resize(frames_.back().pathLength);
        continue;
      }
      const Item item = std::move(frame.items[frame.next++]);
      path_.resize(frame.pathLength);
      if (!path_.empty()) path_.push_back('/');
      path_.append(item.name);
      if (item.broken) {
        visitor_.failed(path_, *item.broken);
        continue;
      }
      if (item.viaLink && item.type == FileType::kDirectory) {
        // A link back to a folder the walk is in would name the same things for ever.
        if (closesLoop(item.target)) {
          visitor_.failed(path_, FileError::system("list", path_, ELOOP));
          continue;
        }
        if (options_.linkedFoldersOnce && !linkedFolders_.emplace(item.target.device, item.target.inode).second)
          continue;
      }
      const bool descend =
          visitor_.visit({path_, std::string_view(path_).substr(path_.size() - item.name.size()), *frame.directory,
                          item.type, item.viaLink, frame.identity.device, frame.identity.inode != 0 ? item.inode : 0});
      if (descend && item.type == FileType::kDirectory) enter(item);
    }
  }

 private:
  void list(Frame& frame) {
    auto entries = frame.directory->entries();
    if (!entries && outOfDescriptors(entries.error()) && letGoOfHeldFolders()) entries = frame.directory->entries();
    if (!entries) {
      visitor_.failed(path_, entries.error());
      return;
    }
    frame.items.reserve(entries->size());
    for (auto& entry : *entries) {
      if (options_.skipHidden && entry.name.starts_with('.')) continue;
      Item item{std::move(entry.name), entry.type, false, entry.inode, {}, std::nullopt};
      if (item.type == FileType::kSymbolicLink && options_.followLinks) {
        item.viaLink = true;
        item.inode = 0;  // the link's own
        const auto target = options_.beneathRoot ? files_.statusOf(&root_, join(item.name), Resolve::kBeneath)
                                                 : files_.statusOf(frame.directory, item.name, Resolve::kFollow);
        if (target) {
          item.type = target->type;
          item.target = *target;
        } else if (target.error().code == ELOOP && !options_.beneathRoot) {
          item.broken = target.error();  // find -L tells of these too; a link leading nowhere it does not
        }                                // else it leads nowhere, or out: left a link
      }
      frame.items.push_back(std::move(item));
    }
    const bool wholePaths = options_.order == WalkOptions::Order::kWholePaths;
    std::sort(frame.items.begin(), frame.items.end(), [wholePaths](const Item& a, const Item& b) {
      if (!wholePaths) return a.name < b.name;
      // Everything below a folder shares the prefix "name/", so comparing that prefix orders
      // whole subtrees among their siblings as their paths would sort.
      const std::string_view x = a.name, y = b.name;
      const auto n = std::min(x.size(), y.size());
      if (const int c = x.compare(0, n, y, 0, n); c != 0) return c < 0;
      const auto after = [n](std::string_view name, const Item& item) -> int {
        if (name.size() > n) return static_cast<unsigned char>(name[n]);
        return item.type == FileType::kDirectory ? '/' : -1;
      };
      return after(x, a) < after(y, b);
    });
  }

  std::string join(std::string_view name) const {
    std::string joined = path_.substr(0, frames_.back().pathLength);
    if (!joined.empty()) joined.push_back('/');
    joined.append(name);
    return joined;
  }

  // Opens the folder of `item` (path_ is its path) and makes it the new top frame.
  void enter(const Item& item) {
    const Directory* parent = frames_.back().directory;
    if (options_.oneFileSystem) {
      // Told apart before it is opened: a folder of another file system is not even opened, which
      // an automounter would answer by mounting it.
      const auto target =
          item.viaLink ? FileResult<FileStatus>(item.target) : files_.statusOf(parent, item.name, Resolve::kNoFollow);
      if (target && target->device != rootDevice()) return;
    }
    const auto open = [&] {
      return item.viaLink ? (options_.beneathRoot ? files_.openDirectory(&root_, path_, Resolve::kBeneath)
                                                  : files_.openDirectory(parent, item.name, Resolve::kFollow))
                          // Not through a link: if it has become one since the listing, this fails.
                          : files_.openDirectory(parent, item.name, Resolve::kNoFollow);
    };
    auto opened = open();
    if (!opened && outOfDescriptors(opened.error()) && letGoOfHeldFolders()) opened = open();
    if (!opened) {
      visitor_.failed(path_, opened.error());
      return;
    }
    const auto identity = (*opened)->status();
    if (!identity) {
      visitor_.failed(path_, identity.error());
      return;
    }
    if (closesLoop(*identity)) {
      visitor_.failed(path_, FileError::system("list", path_, ELOOP));
      return;
    }
    if (options_.oneFileSystem && identity->device != rootDevice()) return;  // mounted since it was looked at
    Frame frame;
    frame.directory = opened->get();
    frame.owned = std::move(*opened);
    frame.identity = *identity;
    frame.pathLength = path_.size();
    frames_.push_back(std::move(frame));
    letGoOfDeepFolders();
    list(frames_.back());
  }

  std::uint64_t rootDevice() const { return frames_.front().identity.device; }

  bool closesLoop(const FileStatus& folder) const {
    return std::any_of(frames_.begin(), frames_.end(), [&](const Frame& f) { return f.identity.sameFileAs(folder); });
  }

  // Short of descriptors: lets go of every folder held but the one the walk is in. False when
  // there was none to let go of.
  bool letGoOfHeldFolders() {
    bool any = false;
    for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
      if (!frames_[i].owned) continue;
      frames_[i].owned.reset();
      frames_[i].directory = nullptr;
      any = true;
    }
    return any;
  }

  // Leaving `child` (the top frame), whose parent was let go: the child's ".." is the parent
  // again if it is still the same folder, at no cost however deep the walk. Done even when the
  // parent has nothing left, so that each folder on the way up opens the next: a folder further
  // up may have entries left, and a path to it may be too long to open it by.
  void reopenParentFrom(const Frame& child) {
    if (frames_.size() < 2 || child.directory == nullptr) return;
    Frame& parent = frames_[frames_.size() - 2];
    if (parent.directory != nullptr) return;
    const bool more =
        std::any_of(frames_.begin(), frames_.end() - 1, [](const Frame& f) { return f.next < f.items.size(); });
    if (!more) return;
    auto up = files_.openDirectory(child.directory, "..", Resolve::kNoFollow);
    if (!up) return;
    const auto identity = (*up)->status();
    if (!identity || !identity->sameFileAs(parent.identity)) return;
    parent.owned = std::move(*up);
    parent.directory = parent.owned.get();
  }

  void letGoOfDeepFolders() {
    std::size_t open = 0;
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
      if (!it->owned) continue;
      if (++open > kOpenFolders) {
        it->owned.reset();
        it->directory = nullptr;
      }
    }
  }

  // The frame's folder, opened again from the root if it was let go; none if it is no longer
  // the folder it was (the walk of it then ends there).
  const Directory* ensureOpen(Frame& frame) {
    if (frame.directory != nullptr) return frame.directory;
    const std::string path = path_.substr(0, frame.pathLength);
    const auto open = [&] {
      return files_.openDirectory(&root_, path, options_.beneathRoot ? Resolve::kBeneath : Resolve::kFollow);
    };
    auto opened = open();
    if (!opened && outOfDescriptors(opened.error()) && letGoOfHeldFolders()) opened = open();
    const auto identity = opened ? (*opened)->status() : FileResult<FileStatus>(Unexpected(opened.error()));
    if (!identity || !identity->sameFileAs(frame.identity)) {
      visitor_.failed(path, identity ? FileError::of(FileError::Reason::kChanged, "list", path) : identity.error());
      frame.next = frame.items.size();
      return nullptr;
    }
    frame.owned = std::move(*opened);
    frame.directory = frame.owned.get();
    return frame.directory;
  }

  FileSystem& files_;
  const Directory& root_;
  const WalkOptions& options_;
  const TreeVisitor& visitor_;
  std::vector<Frame> frames_;
  std::string path_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> linkedFolders_;  // device and inode
};

}  // namespace

void walkTree(FileSystem& fileSystem, const Directory& root, const WalkOptions& options, const TreeVisitor& visitor) {
  Walk(fileSystem, root, options, visitor).run();
}

}  // namespace corvane::platform
