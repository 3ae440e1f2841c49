// The undo command: everything a run sent to the trash goes back where it was.
//
//   sweepwell --undo            undoes the last run that trashed anything
//   sweepwell --undo --list     lists the runs that can be undone (console only)
//   sweepwell --undo RUN        undoes the run RUN, named as --list shows it
//
// (/Undo and /List in any letter case are the same switches.) An undo is a run of its own: its
// lines go to the console and to the month's log after a rule line, one per entry in the form of
// the run's lines (path, "  :: ", size, " bytes"), with the reason in brackets for an entry that
// stays where it is, then the totals. An entry comes back only when its trash still holds it as
// the run left it (see platform/trash.h); one whose original place is taken now stays in the
// trash, and one that was emptied or restored already is only reported. Nothing is ever
// deleted or overwritten. Once every entry is back the record is marked undone; a later undo of
// it reports each entry as restored already.
//
// Exit status: 0 the undo ran (also when some entries were only reported) or the list was shown;
// 1 no run to undo, the record is unreadable or another undo (or the run itself) holds it, the
// log folder could not be made or the log not written; 130 interrupted between two entries. A bad command line is
// refused by ParseCommandLine (2).
#pragma once

#include <string>
#include <vector>

namespace sweepwell {

struct RunContext;

struct UndoRequest {
  bool list = false;
  std::string run;  // empty: the last run
};

// True when the first argument is the undo switch (--undo or /Undo in any letter case).
bool IsUndoSwitch(const std::string& argument);

// Reads a command line that starts with the undo switch; false when it is none of the forms.
bool ParseUndoArguments(const std::vector<std::string>& arguments, UndoRequest* request);

// Carries out the request; returns the exit status.
int RunUndo(const UndoRequest& request, RunContext& context);

}  // namespace sweepwell
