// Ids of the main window's controls. Layout tables, the sequence and the tests speak in them.
#pragma once

namespace velkor {

enum ControlId : int {
    kIdTitle = 1000,
    kIdTvLabel = 1001,
    kIdHbrakeLabel = 1002,
    kIdRdsLabel = 1003,
    kIdTypeDisplay = 1004,
    kIdTftLabel = 1007,
    kIdDvdLabel = 1008,
    kIdRadioLabel = 1009,
    kIdAudioLabel = 1010,
    kIdMcuChecksumLabel = 1013,
    kIdFileChecksumLabel = 1014,
    kIdMcuChecksum = 1015,
    kIdFileChecksum = 1016,
    kIdQuit = 1100,
    kIdUpdate = 1101,
    kIdOpen = 1102,
    kIdContinue = 1103,
    kIdRetry = 1104,
    kIdApply = 1105,
    kIdConfig = 1106,
    kIdRadioR3360 = 1200,
    kIdRadioJ5 = 1201,
    kIdRadioStm8 = 1202,
    kIdRadioNec = 1203,
    kIdRadioM3 = 1204,
    kIdLog = 1300,
    kIdProgress = 1301,
    kIdNotify = 1302,
    kIdTvList = 1303,
    kIdHbrakeList = 1304,
    kIdRdsList = 1305,
    kIdTftList = 1306,
    kIdDvdList = 1307,
    kIdRadioList = 1308,
    kIdAudioList = 1309,
};

}  // namespace velkor
