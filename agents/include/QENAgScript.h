// The one reading of a detail script's exit code (MonScriptExitCode), for
// both agent families.
//
//   100          the server is down: offline, confidence 0
//   101 to 110   the server is up: online, confidence 50 + 5 x (code - 100)
//   99           the script could not tell (the listener keeps confidence 50;
//                the data-server monitor reads it as any other code)
//   any other    unknown, confidence 0
#ifndef QEN_QENAGSCRIPT_H
#define QEN_QENAGSCRIPT_H

enum QENAgScriptVerdict {
    QENAG_SCRIPT_OFFLINE,
    QENAG_SCRIPT_ONLINE,
    QENAG_SCRIPT_UNSURE,
    QENAG_SCRIPT_OTHER,
};

constexpr int kQENAgScriptOffline = 100;
constexpr int kQENAgScriptUnsure = 99;
constexpr int kQENAgScriptOnlineFirst = 101;
constexpr int kQENAgScriptOnlineLast = 110;
constexpr int kQENAgFoundConfidence = 50; // a process found, before any script
constexpr int kQENAgConfidenceStep = 5;

constexpr QENAgScriptVerdict QENAgReadScriptExit(int code)
{
    if (code == kQENAgScriptOffline)
        return QENAG_SCRIPT_OFFLINE;
    if (code >= kQENAgScriptOnlineFirst && code <= kQENAgScriptOnlineLast)
        return QENAG_SCRIPT_ONLINE;
    if (code == kQENAgScriptUnsure)
        return QENAG_SCRIPT_UNSURE;
    return QENAG_SCRIPT_OTHER;
}

// The confidence of an online exit code (101 to 110): 55 to 100.
constexpr int QENAgScriptConfidence(int code)
{
    return kQENAgFoundConfidence + kQENAgConfidenceStep * (code - kQENAgScriptOffline);
}

static_assert(QENAgScriptConfidence(105) == 75 && QENAgScriptConfidence(110) == 100);

#endif
