// What the window sends is what the operator meant: every numeric box keeps
// a typed value it cannot send and refuses to send it; Write differences
// needs a file naming this drive's product; Write All counts a group only by
// its read-back and keeps Save EEPROM shut after a failure.

#include "oddparams.h"
#include "testmain.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolTip>

namespace {

constexpr quint8 Station = 1;
constexpr int Stroke = 50;

// The button that sends a box's value, by the window's naming of its rows.
QString sendingButton(const QString &box, bool inProductForm)
{
    if (inProductForm || box == QLatin1String("cmpSlaveId"))
        return QStringLiteral("btnCmpWrite");
    if (box == QLatin1String("spinNewStation"))
        return QStringLiteral("btnChangeStation");
    if (box == QLatin1String("spinJogSpeed"))
        return QStringLiteral("btnJogP");
    if (box.startsWith(QLatin1String("param_spin")))  // param_spinDynErrMm: btnWrite_dynErr
        return QStringLiteral("btnWrite_") + box.mid(10, 1).toLower() + box.mid(11).chopped(2);
    if (box.startsWith(QLatin1String("spin_")) || box.startsWith(QLatin1String("spinD_")))
        return QStringLiteral("btnWrite_") + box.section(QLatin1Char('_'), 1);
    return QString();
}

// The two ends of a box's range as it shows numbers, and a value beyond each.
struct Ends
{
    QString low, high, belowLow, aboveHigh;
};
Ends endsOf(const QAbstractSpinBox *box)
{
    if (const auto *decimal = qobject_cast<const QDoubleSpinBox *>(box)) {
        const auto shown = [decimal](double v) { return QString::number(v, 'f', decimal->decimals()); };
        return {shown(decimal->minimum()), shown(decimal->maximum()), shown(decimal->minimum() - 1),
                shown(decimal->maximum() + 1)};
    }
    const auto *whole = qobject_cast<const QSpinBox *>(box);
    return {QString::number(whole->minimum()), QString::number(whole->maximum()),
            QString::number(qint64(whole->minimum()) - 1), QString::number(qint64(whole->maximum()) + 1)};
}

void setBoxValue(QAbstractSpinBox *box, double value)
{
    if (auto *decimal = qobject_cast<QDoubleSpinBox *>(box))
        decimal->setValue(value);
    else
        qobject_cast<QSpinBox *>(box)->setValue(qRound(value));
}

double boxValue(const QAbstractSpinBox *box)
{
    if (const auto *decimal = qobject_cast<const QDoubleSpinBox *>(box))
        return decimal->value();
    return qobject_cast<const QSpinBox *>(box)->value();
}

}  // namespace

class WindowEntryTest : public QObject
{
    Q_OBJECT

    WindowFixture fx;
    QTemporaryDir dir;

    // Types text over the box's contents and leaves the box, as an operator moving on to Write.
    static void typeAndLeave(QAbstractSpinBox *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(box, &leave);
    }
    QString status() const { return fx.window->statusBar()->currentMessage(); }
    int tabOf(const QWidget *widget) const
    {
        for (int tab = 0; tab < fx.tabs()->count(); ++tab) {
            if (fx.tabs()->widget(tab)->isAncestorOf(widget))
                return tab;
        }
        return -1;
    }
    // The drive's parameter registers, to see that a refused file left them alone.
    QVector<quint16> parameterRegisters() const
    {
        QVector<quint16> words;
        for (const OddRow &row : oddRows()) {
            for (int w = 0; w < row.words; ++w)
                words << fx.reg(quint16(row.address + w));
        }
        return words;
    }
    // An export of the drive, edited, then offered to Compare with Drive, whose
    // table presses Write differences; the drive meanwhile holds other values.
    void writeDifferencesOf(const std::function<void(QJsonObject &)> &edit, const std::function<void()> &beforeCompare)
    {
        setOddValues(fx.bus, Station, Stroke);
        const QString path = dir.filePath(QStringLiteral("drive.json"));
        fx.dialogs->queueFileName(path);
        fx.dialogs->queueAnswer(QMessageBox::Yes);
        QVERIFY2(fx.click("btnExportParams"), qPrintable(fx.failure()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        edit(root);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(root).toJson());
        file.close();
        setOddValues(fx.bus, Station, Stroke, 1);
        fx.quiesce();
        fx.dialogs->onDialog = [](QDialog *dialog) {
            dialog->findChild<QAbstractButton *>(QStringLiteral("btnWriteDifferences"))->click();
            return int(QDialog::Accepted);
        };
        fx.dialogs->queueFileName(path);
        beforeCompare();
        QVERIFY2(fx.click("btnCompareParams"), qPrintable(fx.failure()));
        fx.dialogs->onDialog = nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        VEXA_REQUIRE(fx.startBus({WindowFixture::drive(Station)}), "no pseudo-terminal for the simulated bus");
        QVERIFY2(fx.showWindow(QStringLiteral("en")), qPrintable(fx.failure()));
        QVERIFY2(fx.connectTo(Station), qPrintable(fx.failure()));
        // The engineer rows and the product form take part too.
        QVERIFY2(fx.openEngineeringPage(), qPrintable(fx.failure()));
    }
    void init() { fx.quiesce(); }

    void typedValueOutsideTheRangeIsKeptMarkedAndNeverSent_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("above");
        const QWidget *form = fx.widget("groupBox_engLeft");
        for (const QAbstractSpinBox *box : fx.window->findChildren<QAbstractSpinBox *>()) {
            const QString name = box->objectName();
            // The reconnect time limit is the window's own setting: nothing of it reaches the drive.
            if (name.isEmpty() || name == QLatin1String("spinReconnectLimit"))
                continue;
            // Every box of the window has an action that sends it, or the test says which it lacks.
            QVERIFY2(!sendingButton(name, form->isAncestorOf(box)).isEmpty(), qPrintable(name));
            QTest::newRow(qPrintable(name + QStringLiteral(" above"))) << name << true;
            QTest::newRow(qPrintable(name + QStringLiteral(" below"))) << name << false;
        }
    }
    void typedValueOutsideTheRangeIsKeptMarkedAndNeverSent()
    {
        QFETCH(QString, box);
        QFETCH(bool, above);
        auto *entry = fx.find<QAbstractSpinBox>(qPrintable(box));
        const bool inForm = fx.widget("groupBox_engLeft")->isAncestorOf(entry);
        fx.showTab(tabOf(entry));
        // Push torques are typed only while their push mode is on.
        if (box.endsWith(QLatin1String("PushTorque"))) {
            const QString group = box.contains(QLatin1String("0")) ? QStringLiteral("0") : QStringLiteral("1");
            fx.find<QCheckBox>(qPrintable(inForm ? QStringLiteral("gen_Pos%1PushEnable").arg(group)
                                                 : QStringLiteral("ckbtn_pos%1Push").arg(group)))
                ->setChecked(true);
        }
        fx.quiesce();
        QVERIFY2(entry->isEnabled(), qPrintable(box));
        const double before = boxValue(entry);
        const Ends ends = endsOf(entry);
        const QString typed = above ? ends.aboveHigh : ends.belowLow;

        typeAndLeave(entry, typed);

        const auto *decimal = qobject_cast<QDoubleSpinBox *>(entry);
        const QString suffix = decimal ? decimal->suffix() : qobject_cast<QSpinBox *>(entry)->suffix();
        QCOMPARE(entry->findChild<QLineEdit *>()->text(), typed + suffix);
        QVERIFY(entry->property("entryMarked").toBool());
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), entry->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(entry, &help);
        QVERIFY2(QToolTip::text().contains(ends.low) && QToolTip::text().contains(ends.high), qPrintable(QToolTip::text()));
        QToolTip::hideText();

        const int from = fx.mark();
        auto *send = fx.find<QAbstractButton>(qPrintable(sendingButton(box, inForm)));
        // A jog acts while held: what the press sends is looked at before the release stops it.
        if (box == QLatin1String("spinJogSpeed"))
            QTest::mousePress(send, Qt::LeftButton);
        else
            QVERIFY2(fx.click(qPrintable(send->objectName())), qPrintable(fx.failure()));
        fx.waitQuiet();
        QVERIFY2(fx.writes(from).isEmpty(), qPrintable(fx.writes(from).join(QLatin1String("; "))));
        if (box == QLatin1String("spinJogSpeed"))
            QTest::mouseRelease(send, Qt::LeftButton);
        QVERIFY2(status().contains(ends.low) && status().contains(ends.high), qPrintable(status()));
        QCOMPARE(fx.dialogs->count(), 0);

        // A value set again clears the mark.
        setBoxValue(entry, before);
        QTRY_VERIFY(!entry->property("entryMarked").toBool());
    }

    void writeDifferencesNeedsTheFileToNameThisProduct_data()
    {
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QByteArray>("changed");  // keys set to other values, as JSON
        QTest::addColumn<int>("yesAnswers");      // after the Compare question, if any
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<bool>("written");
        QTest::newRow("no lead, another family")
            << QStringList{"lead"} << QByteArray(R"({"family": "LXBZ", "size": 32, "stroke": 100})") << 0
            << "Write Blocked" << "lead" << false;
        QTest::newRow("no family, size or stroke") << QStringList{"family", "size", "stroke"} << QByteArray("{}") << 0
                                                   << "Write Blocked" << "family, size, stroke" << false;
        QTest::newRow("reversed direction, No by default")
            << QStringList() << QByteArray(R"({"dir": "BA"})") << 1 << "Reversed Direction" << "BA" << false;
        QTest::newRow("reversed direction, Yes") << QStringList() << QByteArray(R"({"dir": "BA"})") << 2
                                                 << "Reversed Direction" << "BA" << true;
    }
    void writeDifferencesNeedsTheFileToNameThisProduct()
    {
        QFETCH(QStringList, removed);
        QFETCH(QByteArray, changed);
        QFETCH(int, yesAnswers);
        QFETCH(QString, shownTitle);
        QFETCH(QString, shownText);
        QFETCH(bool, written);
        QVector<quint16> before;
        QList<ScriptedDialogs::Shown> shown;
        const auto edit = [&](QJsonObject &root) {
            for (const QString &key : removed)
                root.remove(key);
            const QJsonObject values = QJsonDocument::fromJson(changed).object();
            for (auto it = values.begin(); it != values.end(); ++it)
                root.insert(it.key(), it.value());
        };
        writeDifferencesOf(edit, [&] {
            for (int i = 0; i < yesAnswers; ++i)
                fx.dialogs->queueAnswer(QMessageBox::Yes);
            fx.dialogs->onShow = [&](const ScriptedDialogs::Shown &box) {
                if (box.title == shownTitle) {
                    shown << box;
                    before = parameterRegisters();  // the drive as the file is about to be written
                }
            };
        });
        fx.dialogs->onShow = nullptr;

        QStringList titles;
        for (const ScriptedDialogs::Shown &box : fx.dialogs->shown())
            titles << box.title + QLatin1Char(':') + box.text.left(60);
        QVERIFY2(shown.size() == 1, qPrintable(titles.join(QLatin1String(" | "))));
        QVERIFY2(shown.first().text.contains(shownText), qPrintable(shown.first().text));
        QCOMPARE(parameterRegisters() != before, written);
        if (!written)
            QCOMPARE(fx.writes(), QStringList());
    }

    void writeAllWithAFailingGroupKeepsSaveShutUntilAllMatch()
    {
        fx.showTab(MainWindow::EngineeringTab);
        auto *save = fx.find<QAbstractButton>("btnCmpSave");
        QVERIFY(save->isEnabled());
        // The drive refuses the write of the second request of the block.
        fx.bus.setRequestObserver([this](const SimRequest &r) {
            SimFaults faults;
            faults.exceptionReplies = r.function == 0x10 && r.address == 0x018E;
            fx.bus.setFaults(faults);
        });
        QVERIFY2(fx.click("btnCmpWrite"), qPrintable(fx.failure()));
        fx.bus.setRequestObserver(nullptr);
        fx.bus.setFaults(SimFaults());

        const QString log = fx.find<QTextEdit>("cmpLogs")->toPlainText();
        QVERIFY2(log.contains(QLatin1String("1 of 4 groups")) && log.contains(QLatin1String("0x018E")), qPrintable(log));
        QVERIFY(!save->isEnabled());
        fx.quiesce();
        QVERIFY2(fx.click("btnCmpWrite"), qPrintable(fx.failure()));  // all written now, but not yet compared
        QVERIFY(!save->isEnabled());
        QVERIFY2(fx.click("btnCmpRead"), qPrintable(fx.failure()));
        QVERIFY(save->isEnabled());
    }
};

VEXA_TEST_CLASS(WindowEntryTest);
#include "tst_window_entry.moc"
