#pragma once

// Element editing mode: while it is on, a click on an element of the diagram
// or a trend window opens that element's editor instead of its usual action.
// Off at start; the colour settings window switches it. User-interface
// thread only.
bool ElementEditMode();
void SetElementEditMode(bool on);
