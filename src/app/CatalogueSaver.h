#pragma once

class QWidget;
struct SharedState;

// Writes the departments, then the products, at the end of the program. A file that cannot be
// written is never lost silently: the owner is told, with Retry and Cancel.
namespace CatalogueSaver {

// True when both files were written (or there was nothing loaded to write); false when the
// owner chose Cancel, in which case the program must stay open with everything in memory.
bool saveAtExit(QWidget* parent, SharedState& state);

// The startup loads; a marker file that cannot be written is reported the same way.
void loadAtStart(QWidget* parent, SharedState& state);

} // namespace CatalogueSaver
