#include "dictionary.h"

namespace {

QMap<QString, DictionaryEntry> buildDictionary()
{
    struct Row {
        const char *key;
        const char *zh;
        const char *en;
    };
    static const Row rows[] = {
        {"tab_connection", "裝置連線", "Connection"},
        {"tab_operation", "運轉監控", "Monitor"},
        {"tab_params", "動作設定", "Motion"},
        {"tab_advanced", "進階參數", "Advanced"},
        {"tab_engineering", "工程模式", "Engineering"},
        {"groupBox_comm", "連線設定", "Connection Settings"},
        {"lblPort", "通訊埠:", "COM Port:"},
        {"btnRefresh", "重新整理", "Refresh"},
        {"btnScan", "掃描總線裝置", "Scan Bus"},
        {"btnScan_scanning", "Scanning...", "Scanning..."},
        {"groupBox_status", "連線狀態", "Connection Status"},
        {"btnConnect", "建立連線", "Connect"},
        {"btnDisconnect", "中斷連線", "Disconnect"},
        {"lblStatus_ok", "連線成功", "Connected"},
        {"lblStatus_err", "連線中斷", "Disconnected"},
        {"lblScanTitle", "<b>掃描結果列表</b>", "<b>Scan Results</b>"},
        {"scanHeader_id", "站號", "Station ID"},
        {"scanHeader_model", "型號", "Model"},
        {"scanHeader_fw", "韌體版本", "Firmware Ver."},
        {"scanHeader_hw", "硬體版本", "Hardware Ver."},
        {"scanHeader_logicVer", "邏輯版本", "Logic Ver."},
        {"scan_unknownDevice", "未識別裝置", "Unrecognized Device"},
        {"lblProdTitle", "產品資訊：", "Product Info："},
        {"warn_connect_first", "請先建立連線！", "Please connect first!"},
        {"err_port_open", "無法開啟通訊埠", "Cannot open COM port"},
        {"err_connect_fail", "連線失敗: ", "Connection failed: "},
        {"err_timeout", "連續通訊逾時或設備無回應",
         "Continuous communication timeout or device unresponsive"},
        {"msg_disconnected", "使用者中斷連線", "User disconnected"},
        {"groupBox_cylStatus", "電動缸狀態", "Actuator Status"},
        {"lblPosTitle", "目前位置 (mm)", "Current Pos (mm)"},
        {"lblCurTitle", "馬達電流 (mA)", "Motor Current (mA)"},
        {"lblAlmTitle", "警報狀態", "Alarm Status"},
        {"groupBox_io", "I/O 狀態", "I/O Status"},
        {"lblPosTracErrTitle", "追隨誤差 (mm)", "Tracking Err (mm)"},
        {"alarm_0", "正常", "Normal"},
        {"alarm_1", "過電流", "Overcurrent"},
        {"alarm_2", "過電壓", "Overvoltage"},
        {"alarm_3", "欠電壓", "Undervoltage"},
        {"alarm_4", "A相開路", "Phase A Open"},
        {"alarm_5", "B相開路", "Phase B Open"},
        {"alarm_6", "位置超差", "Pos Error"},
        {"alarm_7", "內部24V偏移", "Int 24V Offset"},
        {"alarm_8", "A相電壓錯誤", "Phase A Volt Err"},
        {"alarm_9", "B相電壓錯誤", "Phase B Volt Err"},
        {"alarm_10", "編碼器錯誤", "Encoder Err"},
        {"groupBox_manCtrl", "手動控制", "Manual Control"},
        {"lblJogSpeedTitle", "Jog 速度:", "Jog Speed:"},
        {"btnHome", "原點復歸", "Homing"},
        {"lblSimTitle", "輸入訊號模擬", "Input Simulation"},
        {"btnSimX0", "Input 1", "Input 1"},
        {"btnSimX1", "Input 2", "Input 2"},
        {"btnSimX2", "Input 3", "Input 3"},
        {"btnSaveParams", "斷電保存", "Save to ROM"},
        {"btnReadAllParams", "讀取全部參數", "Read All Params"},
        {"groupBox_origin", "原點參數", "Origin Params"},
        {"groupBox_pos0", "位置 1", "Position 1"},
        {"groupBox_pos1", "位置 2", "Position 2"},
        {"param_btnRead", "讀取", "Read"},
        {"param_btnWrite", "寫入", "Write"},
        {"msg_saved_ok", "保存成功", "Saved successfully"},
        {"ckbtn_pos0Push", "推壓啟用", "Pushing Enable"},
        {"ckbtn_pos1Push", "推壓啟用", "Pushing Enable"},
        {"lblTitle_smoothMs", "平滑時間 (ms)", "Smooth Time (ms)"},
        {"lblTitle_idleCurrent", "停止電流 (%)", "Idle Current (%)"},
        {"lblTitle_runCurrent", "運轉最小電流 (%)", "Min. Run Current (%)"},
        {"btnRestoreAdvDefaults", "恢復初始", "Restore Defaults"},
        {"btnSaveParams_adv", "斷電保存", "Save to ROM"},
        {"lblAdvWarning",
         "⚠ 進階參數影響控制特性與保護機制，無特殊需求建議維持預設值。詳細說明請參閱使用手冊。",
         "⚠ Advanced parameters affect control and protection. Keep default settings unless "
         "needed. See the user manual for details."},
        {"groupBox_runChar", "運轉特性", "Running Characteristics"},
        {"groupBox_errThreshold", "誤差閾值", "Error Thresholds"},
        {"lblTitle_dynErr", "動態誤差(mm)", "DynErr (mm)"},
        {"lblTitle_staErr", "靜態誤差(mm)", "StaErr (mm)"},
        {"lblTitle_posWarn", "位置預警(mm)", "PosWarn (mm)"},
        // The login title reads the same in both languages on purpose.
        {"lblLoginTitle", "工程模式", "工程模式"},
        {"engPassword_hint", "請輸入密碼", "Enter Password"},
        {"btnLogin", "解鎖", "Unlock"},
        {"engPwdError", "密碼錯誤或權限不足", "Invalid Password"},
        {"groupBox_engLeft", "產品參數配置", "Params Config"},
        {"groupBox_engRight", "參數比對與寫入", "Auto Compare and Write"},
        {"btnExp", "匯出為 TXT 檔", "Export TXT"},
        {"l_ppr", "每圈解析度 (PPR)", "Resolution (PPR)"},
        {"l_spd", "初始轉速 (x0.01 RPM)", "Speed (x0.01 RPM)"},
        {"l_cur", "額定電流", "Rated Current"},
        {"l_mod", "EC Model", "EC Model"},
        {"l_siz", "EC Spec (Size)", "EC Spec (Size)"},
        {"l_led", "EC Lead", "EC Lead"},
        {"l_stk", "EC Stroke", "EC Stroke"},
        {"l_dir", "EC MotorDir", "EC MotorDir"},
        {"l_tqm", "力矩模式 (Bit 8~15)", "Torque Mode (Bit 8~15)"},
        {"l_tqf", "力度 (Bit 0~7)", "Torque Force (Bit 0~7)"},
        {"l_tqs", "力矩_移動速度 (mm/s)", "Torque Speed (mm/s)"},
        {"l_exd", "執行力矩:方向", "Exec Torque: Dir"},
        {"l_exo", "執行力矩:偏移脈衝", "Exec Torque: Offset"},
        {"l_acc", "位置1_加速時間(ms)", "Pos1 Accel Time (ms)"},
        {"l_dec", "位置1_減速時間(ms)", "Pos1 Decel Time (ms)"},
        {"l_pss", "位置1_轉速(RPM*100)", "Pos1 Speed (RPM*100)"},
        {"l_ps0", "位置1_Pulses", "Pos1 Pulses"},
        {"l_p1a", "位置2_加速時間(ms)", "Pos2 Accel Time (ms)"},
        {"l_p1d", "位置2_減速時間(ms)", "Pos2 Decel Time (ms)"},
        {"l_p1s", "位置2_轉速(RPM*100)", "Pos2 Speed (RPM*100)"},
        {"l_p1p", "位置2_Pulses", "Pos2 Pulses"},
        {"btnCmpImp", "匯入檔案", "Import File"},
        {"btnCmpRead", "讀取比對", "Read & Compare"},
        {"btnCmpWrite", "連續寫入", "Write All"},
        {"btnCmpSave", "斷電保存", "Save EEPROM"},
        {"lblCmpLog", "<b>通訊底層紀錄</b>", "<b>Communication Logs</b>"},
        {"btnClrLog", "清除", "Clear"},
        {"cmp_noData", "無資料，請先設定左側參數或載入檔案。",
         "No data. Please configure parameters or load file."},
        {"cmp_noConnect", "請先於「裝置連線」頁面建立硬體連線！", "Please connect the device first!"},
        {"cmp_loaded", "已從檔案載入 %1 筆資料", "Loaded %1 records from file"},
        {"cmp_read_start", "開始讀取：合併為 %1 個請求", "Read started: merged into %1 requests"},
        {"cmp_write_start", "開始寫入：合併為 %1 個請求", "Write started: merged into %1 requests"},
        {"cmp_save_ok", "斷電保存成功！", "EEPROM save OK!"},
        {"cmp_save_fail", "斷電保存失敗", "EEPROM save failed"},
        {"cmp_match", "✔ 吻合", "✔ Match"},
        {"cmp_mismatch", "⚠ 差異", "⚠ Mismatch"},
        {"cmp_error", "✖ 錯誤", "✖ Error"},
        {"tab_waveform", "波形監控", "Waveform"},
        {"lblWaveLoginTitle", "波形監控登入", "Waveform Login"},
        {"wavePassword_hint", "請輸入密碼", "Enter Password"},
        {"btnWaveLogin", "解鎖", "Unlock"},
        {"wavePwdError", "密碼錯誤", "Invalid Password"},
        {"btnServoOn", "Servo ON", "Servo ON"},
        {"btnServoOff", "Servo OFF", "Servo OFF"},
        {"lblServoStatus", "Servo 狀態", "Servo Status"},
        {"groupBox_alarmHist", "警報履歷", "Alarm History"},
        {"btnClearAlarm", "清除警報", "Alarm Reset"},
        {"btnReadAlarmHistory", "讀取警報", "Read Alarm"},
        {"btnExportParams", "匯出參數", "Export Params"},
        {"btnImportParams", "匯入參數", "Import Params"},
        {"btnChangeStation", "修改站號", "Change Addr."},
        {"lblNewStation", "新站號:", "New Addr.:"},
    };

    QMap<QString, DictionaryEntry> table;
    for (const Row &row : rows)
        table.insert(QString::fromUtf8(row.key),
                     DictionaryEntry(QString::fromUtf8(row.zh), QString::fromUtf8(row.en)));
    return table;
}

}  // namespace

const QMap<QString, DictionaryEntry> &dictionary()
{
    // A function-local static is initialised once, thread-safely, on first use.
    static const QMap<QString, DictionaryEntry> table = buildDictionary();
    return table;
}

const QMap<QString, DictionaryEntry> &extraTexts()
{
    static const QMap<QString, DictionaryEntry> table = [] {
        QMap<QString, DictionaryEntry> t;
        const auto add = [&t](const char *key, const char *zh, const char *en) {
            t.insert(QString::fromLatin1(key), {QString::fromUtf8(zh), QString::fromUtf8(en)});
        };
        add("trend_position", "位置 (mm)", "Position (mm)");
        add("trend_current", "馬達電流 (mA)", "Motor Current (mA)");
        add("trend_trackErr", "追隨誤差 (mm)", "Tracking Err (mm)");
        add("trend_window", "時間範圍:", "Window:");
        add("trend_pause", "暫停", "Pause");
        add("trend_resume", "繼續", "Resume");
        add("trend_record", "開始記錄", "Record");
        add("trend_recordStop", "停止記錄", "Stop Recording");
        add("trend_record_tip", "將每筆即時狀態寫入 CSV 檔", "Write every live state to a CSV file");
        add("rec_title", "記錄即時資料", "Record Live Data");
        add("rec_failed", "記錄已停止：%1", "Recording stopped: %1");
        add("err_port_lost", "通訊埠已中斷，USB 轉接器可能已拔除", "The serial port was lost (adapter unplugged?)");
        add("err_tcp_lost", "與 %1 的連線已中斷", "the connection to %1 was lost");
        add("err_tcp_connect", "無法連線到 %1：%2", "Cannot connect to %1: %2");
        add("err_port_dialout", "沒有權限開啟 %1。請將使用者加入 dialout 群組（sudo usermod -aG dialout $USER），登出後重新登入。",
            "no permission to open %1. Add your user to the dialout group (sudo usermod -aG dialout $USER), "
            "then log out and in again.");
        add("echo_removal_on", "回音消除：開啟（轉接器會回送每個請求）", "Echo removal on (the adapter echoes every request)");
        add("btnTraffic", "通訊監看", "Bus Traffic");
        add("chkReconnect", "自動重新連線", "Reconnect automatically");
        add("lblReconnectLimit", "重新連線時限：", "Time limit:");
        add("lblStatus_reconnecting", "重新連線中…", "Reconnecting…");
        add("reconnect_progress", "第 %1 次嘗試｜斷線 %2 秒", "Try %1 | %2 s since the loss");
        add("reconnect_refused", "重新連線中：運動與寫入暫不接受，直到驅動器再次回應。",
            "Reconnecting: motion and writes are refused until the drive answers again.");
        add("err_drive_differs", "站號 %1 上的驅動器已不是先前連線的那一台（%2），未恢復連線。",
            "The drive at station %1 is not the one connected before (%2); the connection was not resumed.");
        add("differs_model", "型號", "model");
        add("differs_firmware", "韌體版本", "firmware version");
        add("differs_hardware", "硬體版本", "hardware version");
        add("differs_logic", "邏輯版本", "logic version");
        add("btnStopMotion", "停止", "STOP");
        add("btnStopMotion_tip", "立即停止寸動並送出停止輸入（Esc 鍵亦可）",
            "Stops any jog at once and sends the stop input (Esc does the same)");
        add("jog_tip", "按住移動，放開即停止；Esc 隨時停止", "Hold to move, release to stop; Esc stops at any time");
        add("link_health", "通訊：請求 %1｜回應 %2｜逾時 %3｜CRC 錯誤 %4｜例外 %5｜雜訊 %6 B｜延遲 %7 / %8 ms",
            "Link: requests %1 | replies %2 | timeouts %3 | bad CRC %4 | exceptions %5 | noise %6 B | "
            "latency %7 / %8 ms");
        add("unsaved_rom", "⚠ 參數已寫入設備，尚未斷電保存", "⚠ Written to the drive, not yet saved to ROM");
        add("unsaved_title", "尚未保存", "Unsaved Changes");
        add("unsaved_question", "參數已寫入設備但尚未斷電保存，斷電後將遺失。\n是否先保存至 ROM？",
            "Parameters were written to the drive but not saved to ROM; they are lost at power-off.\n"
            "Save them to ROM now?");
        add("dirty_tip", "尚未寫入；設備值：%1", "Not written yet; drive value: %1");
        add("btnCompareParams", "與設備比對", "Compare with Drive");
        add("restore_connect_first", "請先連線至設備，才能將檔案與設備比對。",
            "Please connect first: the file is compared with the connected drive.");
        add("restore_read_failed", "無法從設備讀取：%1\n\n未進行比對。",
            "Could not read from the device: %1\n\nNothing was compared.");
        add("restore_title", "檔案與設備比對 — %1", "File vs Drive — %1");
        add("restore_col_param", "參數", "Parameter");
        add("restore_col_file", "檔案值", "File");
        add("restore_col_drive", "設備值", "Drive");
        add("restore_col_unit", "單位", "Unit");
        add("restore_col_result", "結果", "Result");
        add("restore_differs", "≠ 不同", "≠ differs");
        add("restore_same", "相同", "same");
        add("restore_notInFile", "檔案未記錄", "not in file");
        add("restore_pos0Push", "位置 1 推壓模式", "Pos1 Push Mode");
        add("restore_pos1Push", "位置 2 推壓模式", "Pos2 Push Mode");
        add("restore_summary", "共 %2 項，%1 項與設備不同。", "%1 of %2 values differ from the drive.");
        add("restore_write", "寫入差異", "Write differences");
        add("restore_close", "關閉", "Close");
        add("restore_written", "✔ 已寫入並讀回確認", "✔ written, read back");
        add("restore_notApplied", "✖ 未套用（設備值 %1）", "✖ not applied (drive holds %1)");
        add("restore_notReadBack", "✖ 無法讀回確認", "✖ could not be read back");
        add("restore_outsideRange", "✖ 超出可編輯範圍，未寫入", "✖ outside the editable range, not written");
        add("restore_done", "%2 項差異中 %1 項已寫入並確認。", "%1 of %2 differences written and confirmed.");
        add("restore_save_title", "斷電保存", "Save to ROM");
        add("restore_save_question", "%2 項差異中 %1 項已寫入設備。\n是否斷電保存至 ROM？",
            "%1 of %2 differences were written to the drive.\nSave them to ROM now?");
        add("restore_write_blocked", "無法寫入", "Write Blocked");
        add("restore_reversed_title", "馬達方向相反", "Reversed Direction");
        add("restore_reversed_question", "%1\n\n檔案是為另一個馬達方向的機台所匯出，寫入後位置的意義相反。\n仍要寫入嗎？",
            "%1\n\nThe file was made for the other motor direction: written here, its positions mean the "
            "opposite.\nWrite it anyway?");
        add("scan_none", "通訊埠 %1 上沒有裝置回應（站號 1-16）", "No drive answered on %1 (stations 1-16)");
        add("entry_range", "範圍：%1 至 %2", "Range: %1 to %2");
        add("entry_refused", "%1 的輸入值無效，未送出。%2", "%1: the value typed is not valid and was not sent. %2");
        add("status_alarm_read", "已讀取警報：目前 %1", "Alarm read: current %1");
        add("status_alarm_unread", "未能讀取警報：設備無回應", "Alarm not read: no reply from the drive");
        add("status_alarm_cleared", "已送出警報重置，目前 %1", "Alarm reset sent; current %1");
        add("status_alarm_clear_failed", "設備未確認警報重置", "The drive did not confirm the alarm reset");
        add("status_read_all", "已讀取全部參數", "All parameters read from the drive");
        add("status_read_all_partial", "讀取全部參數：%1 次讀取無回應，這些值未更新",
            "Read All: %1 reads got no reply; those values were not updated");
        add("status_exported", "已匯出 %1", "Exported %1");
        add("status_rec_saved", "記錄已儲存：%1（%2 筆）", "Recording saved: %1 (%2 rows)");
        add("trend_recording", "● 記錄中：%1", "● Recording to %1");
        // Engineering form labels the first table leaves to the form itself.
        add("l_softCcw", "負向軟限位 (pulse)", "Soft Limit CCW (pulse)");
        add("l_softCw", "正向軟限位 (pulse)", "Soft Limit CW (pulse)");
        add("l_dynErr", "動態誤差 (mm)", "DynErr (mm)");
        add("l_staErr", "靜態誤差 (mm)", "StaErr (mm)");
        add("l_posWarn", "位置預警 (mm)", "PosWarn (mm)");
        add("l_pos0Push", "位置1_推壓扭力 (%)", "Pos1 Push TRQ (%)");
        add("l_pos1Push", "位置2_推壓扭力 (%)", "Pos2 Push TRQ (%)");
        add("l_smooth", "平滑時間 (ms)", "Smooth Time (ms)");
        // Stops, motion starts and refusals.
        add("stop_unconfirmed_title", "停止未確認", "Stop Not Confirmed");
        add("stop_unconfirmed", "驅動器未確認停止指令（%1）。\n電動缸可能仍在移動，請立即使用機台的緊急停止！",
            "The drive did not confirm the stop (%1).\nThe rod may still be moving: use the machine's "
            "emergency stop now!");
        add("motion_speed_unconfirmed", "驅動器未確認手動速度（%1），未送出動作指令。",
            "The drive did not confirm the manual speed (%1); no motion command was sent.");
        add("motion_distance_unconfirmed", "驅動器未確認微調距離（%1），微調可能未執行。",
            "The drive did not confirm the nudge distance (%1); the nudge may not have run.");
        add("motion_start_unconfirmed", "驅動器未確認寸動指令（%1），放開按鈕時仍會送出停止。",
            "The drive did not confirm the jog command (%1); releasing the button still sends the stop.");
        add("servo_off_notice", "伺服未啟動（Servo OFF），驅動器不會移動。",
            "The servo is off: the drive will not move.");
        add("err_refused", "設備拒絕輪詢請求，連線已中斷：%1", "The drive refused the polling requests: %1");
        add("err_identify_refused", "設備拒絕識別讀取，未連線：%1", "The drive refused the identification reads; not connected: %1");
        add("err_not_recognised", "無法識別此驅動器（不在產品目錄中），未連線。工程模式可連線到目錄以外的驅動器。",
            "The drive is not recognised (it is not in the catalogue); not connected. Engineering mode connects to "
            "drives outside the catalogue.");
        add("events_button", "事件", "Events");
        add("events_title", "事件紀錄", "Events");
        add("events_filter", "篩選…", "Filter…");
        add("events_keep", "保存事件紀錄", "Keep an event log");
        add("events_open_folder", "開啟資料夾", "Open folder");
        add("events_export", "匯出 CSV", "Export CSV");
        add("events_export_failed", "無法寫入檔案：\n%1\n%2", "Cannot write file:\n%1\n%2");
        add("events_write_failed", "事件紀錄無法寫入：%1（%2）", "The event log could not be written: %1 (%2)");
        add("events_header_time", "時間", "Time");
        add("events_header_event", "事件", "Event");
        add("events_header_station", "站號", "Station");
        add("events_header_details", "內容", "Details");
        add("event_connect", "連線", "Connect");
        add("event_disconnect", "斷線", "Disconnect");
        add("event_link_lost", "連線中斷", "Link lost");
        add("event_parameter_write", "參數寫入", "Parameter write");
        add("event_save_to_ROM", "保存至 ROM", "Save to ROM");
        add("event_alarm_raised", "警報發生", "Alarm raised");
        add("event_alarm_cleared", "警報解除", "Alarm cleared");
        add("event_alarm_reset", "警報重置", "Alarm reset");
        add("event_station_change", "站號變更", "Station change");
        add("event_file_export", "檔案匯出", "File export");
        add("event_file_import", "檔案匯入", "File import");
        add("event_file_apply", "檔案套用", "File apply");
        add("event_file_restore", "檔案還原", "File restore");
        add("event_block_write", "區塊寫入", "Block write");
        add("event_block_save", "區塊保存", "Block save");
        add("event_stop_unconfirmed", "停止未確認", "Stop unconfirmed");
        add("event_reconnected", "已重新連線", "Reconnected");
        add("event_reconnect_given_up", "放棄重新連線", "Reconnect given up");
        add("station_taken_title", "站號已被使用", "Station In Use");
        add("station_taken", "站號 %1 已有設備回應，變更將造成站號衝突。\n請選擇其他站號。",
            "A device already answers on station %1; changing to it would create an address conflict.\n"
            "Choose another station.");
        // One parameter file into the stations ticked in the scan table.
        add("btnApplyToStations", "套用檔案至多個站號…", "Apply file to stations…");
        add("line_tip", "勾選掃描結果中的站號（未連線時），將同一個參數檔寫入每一台並產生報告",
            "Tick stations in the scan results (while not connected) to write one parameter file into each, with a report");
        add("line_title", "套用檔案至多個站號", "Apply File to Stations");
        add("line_pick_file", "選擇參數檔", "Choose a Parameter File");
        add("line_file_filter", "參數檔 (*.json)", "Parameter files (*.json)");
        add("line_save_question", "每台寫入並讀回確認後，是否斷電保存至 ROM？",
            "Save to ROM on each drive once every value is written and read back?");
        add("line_report_title", "報告儲存位置", "Where to Save the Report");
        add("line_report_filter", "JSON 報告 (*.json)", "JSON report (*.json)");
        add("line_heading", "參數檔 %1 → 通訊埠 %2", "Parameter file %1 → port %2");
        add("line_col_station", "站號", "Station");
        add("line_col_model", "型號", "Model");
        add("line_col_result", "結果", "Result");
        add("line_col_changes", "變更數", "Changes");
        add("line_waiting", "等待中", "waiting");
        add("line_running", "執行中…", "running…");
        add("line_cancel", "取消", "Cancel");
        add("line_cancelling", "本站完成後停止…", "Stopping after this station…");
        add("line_close", "關閉", "Close");
        add("line_report_failed", "無法寫入報告 %1：%2", "Cannot write the report %1: %2");
        add("line_open_question", "報告已儲存：\n%1\n\n是否開啟簽核頁？", "The report was saved:\n%1\n\nOpen the sign-off page?");
        add("line_open_failed", "無法開啟 %1", "Could not open %1");
        return t;
    }();
    return table;
}

QString translateKey(const QString &key, const QString &lang)
{
    for (const auto *table : {&dictionary(), &extraTexts()}) {
        const auto it = table->constFind(key);
        if (it != table->constEnd())
            return lang == QLatin1String("zh") ? it->first : it->second;
    }
    return key;
}
