// The line's switch.
#include "LineSwitch.h"

#include "AnsweringEngine.h"

#include <QAction>

LineSwitch::LineSwitch(AnsweringEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine), m_onOff(new QAction("Off", parent)),
      m_mnuOn(new QAction("On", parent)), m_mnuOff(new QAction("Off", parent))
{
    m_onOff->setObjectName("OnOff");
    m_onOff->setCheckable(true);
    m_onOff->setProperty("image", 1);
    m_mnuOn->setObjectName("mnuOn");
    m_mnuOn->setCheckable(true);
    m_mnuOff->setObjectName("mnuOff");
    m_mnuOff->setCheckable(true);
    m_mnuOff->setChecked(true);
    // A click leaves the button down (open the line) or up (close it).
    connect(m_onOff, &QAction::triggered, this, [this](bool down) {
        if (down)
            m_engine.openLine(m_engine.lineIndex());
        else
            m_engine.closeLine(m_engine.lineIndex());
    });
    connect(m_mnuOn, &QAction::triggered, this, [this] {
        m_mnuOn->setChecked(m_engine.lineIsOpen());
        m_engine.openLine(m_engine.lineIndex());
    });
    connect(m_mnuOff, &QAction::triggered, this, [this] {
        m_mnuOff->setChecked(!m_engine.lineIsOpen());
        m_engine.closeLine(m_engine.lineIndex());
    });
    connect(&engine, &AnsweringEngine::lineSwitched, this, &LineSwitch::showOn);
    connect(&engine, &AnsweringEngine::switchRestored, this, [this](bool down) {
        m_onOff->setChecked(down);
        m_onOff->setProperty("image", down ? 2 : 1);
    });
}

void LineSwitch::showOn(bool on)
{
    m_onOff->setChecked(on);
    m_onOff->setProperty("image", on ? 2 : 1);
    m_onOff->setText(on ? "On" : "Off");
    m_mnuOn->setChecked(on);
    m_mnuOff->setChecked(!on);
}
