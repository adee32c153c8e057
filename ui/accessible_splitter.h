#pragma once

#include <QString>

class QSplitter;

namespace ui {

// Gives the handles of `splitter` the role a screen reader knows (a grip to drag) and a name;
// Qt itself gives them none, so they are read as "unknown".
void nameSplitterHandles(QSplitter* splitter, const QString& name);

} // namespace ui
