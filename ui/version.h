#pragma once

#include <QString>

namespace ui {

// The program's version, written once as the project version in CMakeLists.txt (major, minor,
// patch) and given to this file's implementation by the build.
namespace version {

// As the window title carries it: major, a point, then minor and patch, "1.06" for 1.0.6.
QString title();

// The file version: minor in two digits and patch in four, "1.00.0006" for 1.0.6.
QString file();

} // namespace version

} // namespace ui
