#pragma once
// The log list as screen readers (and tools that drive the window through accessibility) see it:
// a list with one item per line, the selected line marked. The list paints its lines itself, so
// without this they would not be seen at all.

namespace tidewick::log {

class LogList;

// Registers the accessibility of every LogList; safe to call more than once.
void installLogListAccessibility();
// The list's lines were cleared: the items handed out for them are gone.
void forgetAccessibleLines(LogList* list);

} // namespace tidewick::log
