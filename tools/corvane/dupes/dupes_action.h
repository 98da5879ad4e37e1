#pragma once

#include <memory>

#include "dupes/action_group.h"
#include "dupes/action_log.h"
#include "dupes/keep_choice.h"
#include "platform/file_system.h"

namespace corvane::tool {

struct ActorSettings {
  DupesAction action = DupesAction::kLink;
  bool dryRun = false;
};

// Does the chosen action to the duplicates of groups, one file at a time, each only after it and
// its kept file are found again as they were seen and (for link and remove) compared byte by byte
// just before; every file is reached through its folder held open, its last name never followed
// if it is a link. What it does or refuses goes to the log, a line a duplicate.
class DuplicateActor {
 public:
  // `root`: the library's folder, beneath which every name is resolved and nothing outside it is
  // ever reached; none: names are paths as given.
  DuplicateActor(std::shared_ptr<platform::FileSystem> fileSystem, const platform::Directory* root,
                 ActorSettings settings, ActionLog& log)
      : files_(std::move(fileSystem)), root_(root), settings_(settings), log_(log) {}

  void act(const ActionGroup& group, const KeepChoice& choice);

 private:
  struct Held;
  void actOn(const ActionGroup& group, const SeenMember& kept, const SeenMember& duplicate);
  Outcome finish(const Held& kept, const Held& duplicate, std::string& reason, std::uint64_t& bytes);

  const std::shared_ptr<platform::FileSystem> files_;
  const platform::Directory* const root_;
  const ActorSettings settings_;
  ActionLog& log_;
};

}  // namespace corvane::tool
