#pragma once

#include "paramconversions.h"
#include "parammanager.h"

#include <QDoubleSpinBox>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStringList>
#include <QWidget>

#include <memory>

// The parameter rows of the Motion and Advanced tabs, built the way the
// window builds them and registered with a manager in table order.
class ParamRows
{
public:
    static constexpr int Stroke = 50;

    explicit ParamRows(ParamManager &manager, const QStringList &omit = {}) : m_host(new QWidget)
    {
        for (const ParamConv::ParamDefinition &d : ParamConv::paramDefinitions()) {
            if (omit.contains(d.key))
                continue;
            ParamDef def = build(d);
            m_defs.insert(d.key, def);
            manager.registerParam(def);
        }
    }

    QDoubleSpinBox *spinD(const QString &key) const { return m_defs.value(key).spinD; }
    QSpinBox *spin(const QString &key) const { return m_defs.value(key).spin; }
    QSlider *slider(const QString &key) const { return m_defs.value(key).slider; }
    QLabel *title(const QString &key) const { return m_defs.value(key).title; }
    QLabel *cur(const QString &key) const { return m_defs.value(key).curLabel; }
    QLabel *raw(const QString &key) const { return m_defs.value(key).rawLabel; }
    QPushButton *readButton(const QString &key) const { return m_defs.value(key).btnRead; }
    QPushButton *writeButton(const QString &key) const { return m_defs.value(key).btnWrite; }
    QLabel *hex(const QString &key) const { return m_host->findChild<QLabel *>(QStringLiteral("lblHex_") + key); }

    // Sets the row's value box as the operator would.
    void set(const QString &key, double value) const
    {
        const ParamDef def = m_defs.value(key);
        if (def.spinD)
            def.spinD->setValue(value);
        else if (def.spin)
            def.spin->setValue(static_cast<int>(value));
    }

private:
    ParamDef build(const ParamConv::ParamDefinition &d)
    {
        using ParamConv::ParamUnit;
        QWidget *host = m_host.get();
        ParamDef def;
        def.key = d.key;
        def.titleZh = d.titleZh;
        def.titleEn = d.titleEn;
        def.address = d.address;
        def.singleWord = d.words == 1;
        def.title = named<QLabel>(QStringLiteral("lblTitle_"), d.key);
        def.curLabel = named<QLabel>(QStringLiteral("cur_"), d.key);
        def.rawLabel = named<QLabel>(QStringLiteral("raw_"), d.key);
        def.btnRead = named<QPushButton>(QStringLiteral("btnRead_"), d.key);
        def.btnWrite = named<QPushButton>(QStringLiteral("btnWrite_"), d.key);

        QLabel *hex = named<QLabel>(QStringLiteral("lblHex_"), d.key);
        const bool softLimit = d.key.startsWith(QLatin1String("softLimit"));
        if (softLimit)  // their designer texts stay
            hex->setText(QStringLiteral("0x%1 (2W)").arg(QString::number(d.address, 16).rightJustified(4, QLatin1Char('0')).toUpper()));
        else
            def.hexLabel = hex;

        switch (d.unit) {
        case ParamUnit::Position:
        case ParamUnit::Speed:
        case ParamUnit::ErrorSteps: {
            auto *box = new QDoubleSpinBox(host);
            box->setObjectName(QStringLiteral("spinD_") + d.key);
            box->setDecimals(2);
            if (d.unit == ParamUnit::Speed)
                box->setRange(0.0, 1000.0);
            else if (d.unit == ParamUnit::ErrorSteps)
                box->setRange(0.0, 10.0);
            else
                box->setRange(softLimit ? -Stroke : 0.0, Stroke);
            def.spinD = box;
            if (d.unit != ParamUnit::ErrorSteps)
                def.slider = named<QSlider>(QStringLiteral("slide_"), d.key);
            break;
        }
        case ParamUnit::Torque:
        case ParamUnit::Smoothing:
        case ParamUnit::Plain: {
            auto *box = new QSpinBox(host);
            box->setObjectName(QStringLiteral("spin_") + d.key);
            box->setRange(d.minValue, d.maxValue);
            def.spin = box;
            if (d.unit != ParamUnit::Smoothing)
                def.slider = named<QSlider>(QStringLiteral("slide_"), d.key);
            break;
        }
        }
        // Single-word rows name their power-on copy; the soft limits' copies go by key.
        if (def.singleWord)
            def.syncAddress = d.scriptCopy;
        return def;
    }

    template <typename W>
    W *named(const QString &prefix, const QString &key)
    {
        auto *w = new W(m_host.get());
        w->setObjectName(prefix + key);
        return w;
    }

    std::unique_ptr<QWidget> m_host;
    QHash<QString, ParamDef> m_defs;
};
