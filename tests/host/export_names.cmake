# The library's exports, in ordinal order (1..14).
set(TAVRIX_EXPORT_NAMES Sys_Free CheckSwitch PanelSelect RunforDetector LoadPixelMap LoadGainMap SaveRawImage
                        Sys_Allocation_1417 CheckFrameGrabber GetTemperature GetSwitchMsg Init_Comm Enhancement
                        GetMsgLength)
