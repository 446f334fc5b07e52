import QtQuick
import Idlewyn.Design

// A provider's glyph and name in a capsule: "Claude" when compact, "Claude
// Code" otherwise; "Codex" either way.
ProviderBadgeItem {
    Accessible.role: Accessible.StaticText
    Accessible.name: title
}
