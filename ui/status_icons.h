#pragma once

#include <QIcon>

namespace ui {

// The icons the Tools windows mark a row's state with. Each has a shape of its own as well as a
// colour (a tick in a green disc, "!" in an amber triangle, a cross in a red disc, a dash in a
// grey ring), so that colour is never the only sign; the row says it in a word too.
enum class StatusIcon { Good, Attention, Problem, Neutral };

QIcon statusIcon(StatusIcon status);

} // namespace ui
