#pragma once

namespace zelto {

// Frames with a thin rounded border and their captions on its top line, as
// the design has them.
inline constexpr char kDesignStyleSheet[] =
    "QGroupBox { border: 1px solid #c4c9cf; border-radius: 3px; margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0px 2px; }"
    "QCheckBox { spacing: 2px; }";

}  // namespace zelto
