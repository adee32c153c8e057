#pragma once

// Lets screen readers read the data views: their text, caret and selection, through the
// accessible text interface. Safe to call any number of times.
void installViewAccessibility();
