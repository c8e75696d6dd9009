// The caller viewer window.
#include "frmMSG.h"

#include "CallerIdentity.h"
#include "TimeBase.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kTimer1Ms = 10;
constexpr int kAutoCloseMs = 1000;
// Margin from the right edge of the screen, in pixels.
constexpr int kEdgeMargin = 8;

// The viewer's procedures ignore their errors and carry on.
template <typename F> void quietly(F&& body)
{
    try {
        body();
    } catch (...) {
    }
}
} // namespace

frmMSG::frmMSG(const TimeBase& timeBase, ViewerChoices choices)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_timeBase(timeBase), m_choices(std::move(choices))
{
    setObjectName("frmMSG");
    setWindowTitle("Kalvo");
    // Shown over whatever the user works in, without taking the keyboard from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kWidthTwips / kTwipsPerPixel, kHeightTwips / kTwipsPerPixel);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName("Timer1");
    m_timeBase.setInterval(*m_timer1, kTimer1Ms);
    connect(m_timer1, &QTimer::timeout, this, &frmMSG::Timer1Timer);
    m_tmrAutoClose = new QTimer(this);
    m_tmrAutoClose->setObjectName("tmrAutoClose");
    m_timeBase.setInterval(*m_tmrAutoClose, kAutoCloseMs);
    connect(m_tmrAutoClose, &QTimer::timeout, this, &frmMSG::tmrAutoCloseTimer);
    buildForm();
}

frmMSG::~frmMSG() = default;

QFrame* frmMSG::choiceFrame(const char* frameName, const char* labelName, const QString& caption)
{
    auto* frame = new QFrame(this);
    frame->setObjectName(frameName);
    frame->setFrameShape(QFrame::Box);
    frame->setCursor(Qt::PointingHandCursor);
    auto* label = new QLabel(caption, frame);
    label->setObjectName(labelName);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setAccessibleName(caption);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(label);
    frame->installEventFilter(this);
    label->installEventFilter(this);
    return frame;
}

void frmMSG::buildForm()
{
    auto newLabel = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        // Callers choose their names and the status carries them: never read as markup.
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    m_image2 = newLabel("Image2", QString());
    m_image2->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    m_image2->setCursor(Qt::PointingHandCursor);
    m_image2->installEventFilter(this);
    m_lblMsgFrom = newLabel("lblMsgFrom", "Caller Name   Caller Number");
    m_lblMsgFrom->installEventFilter(this);
    m_lblStatus = newLabel("lblStatus", "Kalvo");
    QFont bold = m_lblStatus->font();
    bold.setBold(true);
    m_lblStatus->setFont(bold);
    m_lblCallerName = newLabel("lblCallerName", CallerIdentity().nameText());
    m_lblCallerNumber = newLabel("lblCallerNumber", CallerIdentity().numberText());
    m_lblCallDate = newLabel("lblCallDate", QString());
    m_lblTime = newLabel("lblTime", QString());
    m_lblMessagePath = newLabel("lblMessagePath", "MessagePath");
    m_lblMessagePath->setWordWrap(true);
    QLabel* ringNum = newLabel("lblMsgRingNum", QString());

    auto* top = new QHBoxLayout;
    top->addWidget(m_image2);
    auto* heading = new QVBoxLayout;
    heading->addWidget(m_lblMsgFrom);
    heading->addWidget(m_lblStatus);
    top->addLayout(heading, 1);
    top->addWidget(ringNum);

    auto* fields = new QGridLayout;
    fields->addWidget(newLabel("Label5", "Cllaer Name : "), 0, 0);
    fields->addWidget(m_lblCallerName, 0, 1);
    fields->addWidget(newLabel("Label4", "Cllaer Number :"), 1, 0);
    fields->addWidget(m_lblCallerNumber, 1, 1);
    fields->addWidget(newLabel("Label3", "Date : "), 2, 0);
    fields->addWidget(m_lblCallDate, 2, 1);
    fields->addWidget(newLabel("Label2", "Time : "), 3, 0);
    fields->addWidget(m_lblTime, 3, 1);
    fields->setColumnStretch(1, 1);

    m_answer = choiceFrame("Picture3", "lblAmswerMode", "Answer Now");
    m_drop = choiceFrame("Picture4", "lblDrop", "Drop Call");
    m_doNothing = choiceFrame("Picture2", "lblDoNothing", "Do Nothing");
    m_talk = choiceFrame("PictureTalk", "lblPickUp", "Pick Up");
    m_lblTalk = m_talk->findChild<QLabel*>("lblPickUp");
    setTalkChoice(false, "No call to pick up");
    auto* choices = new QHBoxLayout;
    choices->addWidget(m_answer);
    choices->addWidget(m_drop);
    choices->addWidget(m_doNothing);
    choices->addWidget(m_talk);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addLayout(fields);
    layout->addWidget(m_lblMessagePath);
    layout->addStretch(1);
    layout->addLayout(choices);
    setStyleSheet("frmMSG { background: #fffbe6; border: 1px solid #8a7a3a; }");
}

void frmMSG::ViewCallViewer(bool animation, int animationFast, int cCloseCallerView, int closeCallerView)
{
    quietly([&] {
        if (m_loaded)
            return;
        Form_Load();
        State = "Open";
        AutoClose = cCloseCallerView;
        CloseAfter = closeCallerView;
        Animation = animation;
        if (animation) {
            Step = animationFast;
            prepare();
            m_timer1->start();
            show();
        } else {
            prepare();
            show();
            setTop(0);
        }
    });
}

void frmMSG::prepare()
{
    setTop(-kHeightTwips);
    if (AutoClose == 1) {
        m_secondsLimit = CloseAfter;
        m_tmrAutoClose->start();
    }
}

void frmMSG::Form_Load()
{
    m_loaded = true;
    m_moved = 0;
    m_seconds = 0;
    m_secondsLimit = 0;
    m_lblStatus->setText("Kalvo");
    m_lblCallerName->setText(CallerIdentity().nameText());
    m_lblCallerNumber->setText(CallerIdentity().numberText());
    m_lblCallDate->clear();
    m_lblTime->clear();
    m_lblMessagePath->setText("MessagePath");
    for (QFrame* choice : {m_answer, m_drop, m_doNothing})
        choice->setEnabled(true);
}

void frmMSG::Form_Unload()
{
    m_timer1->stop();
    m_tmrAutoClose->stop();
    m_loaded = false;
    State.clear();
    hide();
}

void frmMSG::setTop(int twips)
{
    m_top = twips;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const int left =
        m_clearOfNotifications ? area.left() + kEdgeMargin : area.right() + 1 - width() - kEdgeMargin;
    move(left, area.top() + twips / kTwipsPerPixel);
}

void frmMSG::Timer1Timer()
{
    quietly([&] {
        const int stride = Step + 50;
        if (State == QLatin1String("Open")) {
            if (m_top < -20) {
                m_moved += stride;
                if (kHeightTwips <= m_moved + 100) {
                    setTop(0);
                } else {
                    setTop(m_top + stride);
                    return;
                }
            } else {
                m_timer1->stop();
                State.clear();
                m_moved = 0;
            }
        }
        if (State == QLatin1String("Close")) {
            if (m_top <= 30 - kHeightTwips) {
                m_timer1->stop();
                State.clear();
                Form_Unload();
            } else {
                setTop(m_top - stride);
            }
        }
    });
}

void frmMSG::tmrAutoCloseTimer()
{
    quietly([&] {
        if (m_seconds < m_secondsLimit) {
            ++m_seconds;
        } else {
            m_seconds = 0;
            CloseViewer();
        }
    });
}

void frmMSG::CloseViewer()
{
    quietly([&] {
        if (!m_loaded)
            return;
        if (Animation) {
            State = "Close";
            m_timer1->start();
        } else {
            Form_Unload();
        }
    });
}

void frmMSG::setStatus(const QString& text)
{
    m_lblStatus->setText(text);
}

void frmMSG::setDetails(const QString& name, const QString& number, const QString& date, const QString& time)
{
    m_lblCallerName->setText(name);
    m_lblCallerNumber->setText(number);
    m_lblCallDate->setText(date);
    m_lblTime->setText(time);
}

void frmMSG::setMessagePath(const QString& path)
{
    m_lblMessagePath->setText(path);
}

void frmMSG::DisableChoices()
{
    for (QFrame* choice : {m_answer, m_drop, m_doNothing})
        choice->setEnabled(false);
}

void frmMSG::setTalkChoice(bool talking, const QString& unavailable)
{
    m_talking = talking;
    const QString caption = talking ? QStringLiteral("Hang Up") : QStringLiteral("Pick Up");
    m_lblTalk->setText(caption);
    m_lblTalk->setAccessibleName(caption);
    const bool available = talking || unavailable.isEmpty();
    m_talk->setEnabled(available);
    const QString tip = !available ? unavailable
                        : talking  ? QStringLiteral("End the conversation and hang up")
                                   : QStringLiteral("Talk with the caller on the microphone and speakers");
    m_talk->setToolTip(tip);
    m_lblTalk->setToolTip(tip);
}

void frmMSG::choose(QFrame* frame)
{
    if (!frame->isEnabled())
        return;
    // The conversation keeps the window: it shows how the call goes on and offers "Hang Up".
    if (frame == m_talk) {
        quietly([&] {
            const auto& choice = m_talking ? m_choices.hangUp : m_choices.pickUp;
            if (choice)
                choice();
        });
        return;
    }
    quietly([&] {
        if (frame == m_answer && m_choices.answerNow)
            m_choices.answerNow();
        else if (frame == m_drop && m_choices.dropCall)
            m_choices.dropCall();
        else if (frame == m_doNothing && m_choices.doNotAnswer)
            m_choices.doNotAnswer();
    });
    CloseViewer();
}

bool frmMSG::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    if (watched == m_image2 || watched == m_lblMsgFrom) {
        CloseViewer();
        return true;
    }
    for (QFrame* frame : {m_answer, m_drop, m_doNothing, m_talk}) {
        if (watched == frame || watched->parent() == frame) {
            choose(frame);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
