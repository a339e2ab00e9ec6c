#include "jobreport.h"

#include "eventlog.h"

#include <QJsonArray>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

// The page's own texts: English, then Traditional Chinese.
struct PageText
{
    const char *en;
    const char *zh;
};

const QHash<QString, PageText> &pageTexts()
{
    static const QHash<QString, PageText> texts{
        {"title", {"Parameter apply: sign-off", "參數寫入：簽核"}},
        {"tool", {"Tool", "工具"}},
        {"operator", {"Operator", "操作員"}},
        {"start", {"Start", "開始"}},
        {"end", {"End", "結束"}},
        {"file", {"Parameter file", "參數檔"}},
        {"sha256", {"SHA-256", "SHA-256"}},
        {"port", {"Port", "通訊埠"}},
        {"station", {"Station", "站號"}},
        {"model", {"Model", "型號"}},
        {"versions", {"Versions", "版本"}},
        {"changes", {"Changes", "變更"}},
        {"saved", {"Saved to ROM", "已存入ROM"}},
        {"result", {"Result", "結果"}},
        {"snapshot", {"Snapshot (revert)", "快照（還原用）"}},
        {"mark", {"Pass/fail", "判定"}},
        {"pass", {"PASS", "合格"}},
        {"passed", {"passed", "通過"}},
        {"unconfirmed", {"not confirmed", "未確認"}},
        {"unusable-file", {"file not usable", "檔案不適用"}},
        {"no-reply", {"no reply", "無回應"}},
        {"port-unavailable", {"port unavailable", "無法開啟通訊埠"}},
        {"not-recognised", {"drive not recognised", "無法辨識驅動器"}},
        {"differs", {"differs", "有差異"}},
        {"refused", {"refused by the drive", "驅動器拒絕"}},
        {"cancelled", {"cancelled, not run", "已取消，未執行"}},
        {"failed", {"failed", "失敗"}},
        {"fail", {"FAIL", "不合格"}},
        {"yes", {"yes", "是"}},
        {"no", {"no", "否"}},
        {"none", {"none", "無"}},
        {"dryRun", {"Dry run: nothing was written.", "試運行：未寫入任何參數。"}},
        {"summary", {"%1 of %2 drives passed", "%2 台中 %1 台合格"}},
        {"signature", {"Signature", "簽名"}},
        {"date", {"Date", "日期"}},
    };
    return texts;
}

// With the zone's offset ("Z" for UTC), so a report read elsewhere tells the moment.
QString isoTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

}  // namespace

QString jobReportText(const QString &key, const QString &lang)
{
    const auto text = pageTexts().find(key);
    if (text == pageTexts().end())
        return key;
    return QString::fromUtf8(lang == QLatin1String("zh") ? text->zh : text->en);
}

QString loginName()
{
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
#ifdef Q_OS_UNIX
    // A service or a container may set none of them; the account itself still has a name.
    if (const passwd *account = getpwuid(geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
#endif
    return QString();
}

QJsonObject jobReportJson(const JobReportHeader &header, const QVector<StationRecord> &records)
{
    QJsonArray stations;
    for (const StationRecord &r : records) {
        stations << QJsonObject{{QStringLiteral("port"), r.port},
                                {QStringLiteral("station"), r.station},
                                {QStringLiteral("model"), r.model},
                                {QStringLiteral("versions"), r.versions},
                                {QStringLiteral("snapshot"), r.snapshot.isEmpty() ? QJsonValue() : QJsonValue(r.snapshot)},
                                {QStringLiteral("changes"), r.changes},
                                {QStringLiteral("saved"), r.saved},
                                {QStringLiteral("result"), resultWord(r.exit)},
                                {QStringLiteral("exit"), r.exit},
                                {QStringLiteral("message"), r.message},
                                {QStringLiteral("link"), r.link}};
    }
    return QJsonObject{{QStringLiteral("tool"), header.tool},
                       {QStringLiteral("version"), QStringLiteral(VEXA_APP_VERSION)},
                       {QStringLiteral("operator"), header.operatorName},
                       {QStringLiteral("start"), isoTime(header.start)},
                       {QStringLiteral("end"), isoTime(header.end)},
                       {QStringLiteral("file"), header.filePath},
                       {QStringLiteral("sha256"), EventLog::sha256Of(header.filePath)},
                       {QStringLiteral("save"), header.save},
                       {QStringLiteral("dryRun"), header.dryRun},
                       {QStringLiteral("stations"), stations}};
}

QByteArray jobReportHtml(const QJsonObject &report, const QString &lang)
{
    const bool zh = lang == QLatin1String("zh");
    const auto t = [&lang](const char *key) { return jobReportText(QString::fromUtf8(key), lang); };
    const QJsonArray stations = report.value(QStringLiteral("stations")).toArray();
    int passed = 0;
    QString rows;
    for (const QJsonValue &value : stations) {
        const QJsonObject s = value.toObject();
        const bool pass = s.value(QStringLiteral("exit")).toInt() == 0;
        passed += pass ? 1 : 0;
        const QJsonObject v = s.value(QStringLiteral("versions")).toObject();
        const QString versions = v.isEmpty() ? QString()
                                              : QStringList{v.value(QStringLiteral("firmware")).toString(),
                                                            v.value(QStringLiteral("hardware")).toString(),
                                                            v.value(QStringLiteral("logic")).toString()}
                                                    .join(QStringLiteral(" / "));
        QStringList changes;
        for (const QJsonValue &c : s.value(QStringLiteral("changes")).toArray()) {
            const QJsonObject change = c.toObject();
            changes << escaped(QStringLiteral("%1: %2 → %3").arg(change.value(QStringLiteral("key")).toString(),
                                                                 change.value(QStringLiteral("before")).toString(),
                                                                 change.value(QStringLiteral("after")).toString()));
        }
        const QString message = s.value(QStringLiteral("message")).toString();
        rows += QStringLiteral("<tr class=\"%1\"><td class=\"mark\">%2 %3</td><td class=\"nowrap\">%4</td><td>%5</td><td class=\"nowrap\">%6</td>"
                               "<td>%7</td><td>%8</td><td>%9</td><td>%10</td><td class=\"path\">%11</td></tr>\n")
                    .arg(pass ? QStringLiteral("pass") : QStringLiteral("fail"), pass ? QStringLiteral("✔") : QStringLiteral("✘"),
                         pass ? t("pass") : t("fail"), escaped(s.value(QStringLiteral("port")).toString()),
                         QString::number(s.value(QStringLiteral("station")).toInt()),
                         escaped(s.value(QStringLiteral("model")).toString()), escaped(versions),
                         changes.isEmpty() ? t("none") : changes.join(QStringLiteral("<br>")),
                         s.value(QStringLiteral("saved")).toBool() ? t("yes") : t("no"))
                    .arg(escaped(t(s.value(QStringLiteral("result")).toString().toUtf8().constData()))
                             + (message.isEmpty() ? QString() : QStringLiteral("<div class=\"why\">%1</div>").arg(escaped(message))),
                         escaped(s.value(QStringLiteral("snapshot")).toString()));
    }
    const auto field = [&](const char *key, const QString &value) {
        return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(t(key), escaped(value));
    };
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"%1\"><head><meta charset=\"utf-8\"><title>%2</title>\n")
                       .arg(zh ? QStringLiteral("zh-Hant") : QStringLiteral("en"), t("title"));
    page += QStringLiteral(
        "<style>body{font-family:sans-serif;font-size:10pt;margin:1.5cm}h1{font-size:14pt}"
        "table{border-collapse:collapse;width:100%}th,td{border:1px solid #888;padding:3px 5px;text-align:left;"
        "vertical-align:top}th,.mark,.nowrap{white-space:nowrap}table.head{width:auto}table.head th{background:#eee}tr.pass .mark{color:#060;"
        "font-weight:bold}tr.fail .mark{color:#b00;font-weight:bold}.why{color:#b00;white-space:pre-wrap}"
        ".path{word-break:break-all;font-size:8pt}.sign{margin-top:2cm}.sign span{display:inline-block;"
        "width:7cm;border-bottom:1px solid #000;margin:0 1cm 0 .3cm}@media print{body{margin:0}}</style></head><body>\n");
    page += QStringLiteral("<h1>%1</h1>\n<table class=\"head\">\n").arg(t("title"));
    page += field("tool", report.value(QStringLiteral("tool")).toString() + QLatin1Char(' ') + report.value(QStringLiteral("version")).toString());
    page += field("operator", report.value(QStringLiteral("operator")).toString());
    page += field("start", report.value(QStringLiteral("start")).toString());
    page += field("end", report.value(QStringLiteral("end")).toString());
    page += field("file", report.value(QStringLiteral("file")).toString());
    page += field("sha256", report.value(QStringLiteral("sha256")).toString());
    page += QStringLiteral("</table>\n");
    if (report.value(QStringLiteral("dryRun")).toBool())
        page += QStringLiteral("<p><b>%1</b></p>\n").arg(t("dryRun"));
    page += QStringLiteral("<p><b>%1</b></p>\n").arg(t("summary").arg(passed).arg(stations.size()));
    page += QStringLiteral("<table>\n<tr><th>%1</th><th>%2</th><th>%3</th><th>%4</th><th>%5</th><th>%6</th>"
                           "<th>%7</th><th>%8</th><th>%9</th></tr>\n")
                .arg(t("mark"), t("port"), t("station"), t("model"), t("versions"), t("changes"), t("saved"),
                     t("result"), t("snapshot"));
    page += rows;
    page += QStringLiteral("</table>\n<p class=\"sign\">%1:<span></span>%2:<span></span></p>\n</body></html>\n")
                .arg(t("signature"), t("date"));
    return page.toUtf8();
}
