pragma Singleton
import QtQuick

// How long a session has run (a timer while it works) or since it last
// changed (in words), ticking once a second for every row at once.
QtObject {
    id: elapsed
    property date now: new Date()
    property Timer ticker: Timer {
        interval: 1000
        repeat: true
        running: true
        onTriggered: elapsed.now = new Date()
    }

    function pad(n) { return n < 10 ? "0" + n : "" + n }

    function text(runningSince, updatedAt, at) {
        if (runningSince && !isNaN(runningSince.getTime())) {
            const s = Math.max(0, Math.floor((at - runningSince) / 1000))
            const h = Math.floor(s / 3600), m = Math.floor(s % 3600 / 60), r = s % 60
            return h > 0 ? h + ":" + pad(m) + ":" + pad(r) : m + ":" + pad(r)
        }
        if (!updatedAt || isNaN(updatedAt.getTime()))
            return ""
        const ago = Math.max(0, Math.floor((at - updatedAt) / 1000))
        if (ago < 60) return qsTr("now")
        if (ago < 3600) return qsTr("%n min ago", "", Math.floor(ago / 60))
        if (ago < 86400) return qsTr("%n hr ago", "", Math.floor(ago / 3600))
        return qsTr("%n days ago", "", Math.floor(ago / 86400))
    }
}
