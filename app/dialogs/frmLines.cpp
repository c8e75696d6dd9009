// The lines dialog.
#include "frmLines.h"

#include "MessageBox.h"
#include "TelephonyConfig.h"
#include "TelephonyConfigWriter.h"
#include "TelephonyLayer.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

using kalvo::telephony::LineConfig;
using kalvo::telephony::TelephonyConfig;
using kalvo::telephony::TelephonyConfigWriter;

namespace {
QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAccessibleName(QString(caption).remove('&').remove("..."));
    b->setAutoDefault(false);
    return b;
}

QString kindOf(const std::string& provider)
{
    if (provider == "sip")
        return QStringLiteral("SIP line");
    if (provider == "modem")
        return QStringLiteral("modem line");
    if (provider == "sim")
        return QStringLiteral("simulated line");
    return QString::fromStdString(provider);
}

std::vector<LineConfig> linesOf(const std::string& text, const std::string& path)
{
    return TelephonyConfig::parse(text, path).lines();
}
} // namespace

frmLines::frmLines(const QString& watched, QWidget* parent)
    : QDialog(parent), m_path(kalvo::telephony::configurationPath()), m_startWatched(watched),
      m_watched(watched)
{
    setObjectName("frmLines");
    setWindowTitle("Lines");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel("The telephone lines Kalvo can answer on. It watches one of them.", this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* row = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName("lstLines");
    m_list->setAccessibleName("Lines");
    row->addWidget(m_list, 1);
    auto* side = new QVBoxLayout;
    auto* addSip =
        button(this, "cmdAddSip", "Add &SIP Line...", "A line that softphones and SIP accounts call");
    auto* addModem =
        button(this, "cmdAddModem", "Add &Modem Line...", "A telephone line through a voice modem");
    m_settings = button(this, "cmdLineSettings", "Se&ttings...", "Settings of the selected line");
    m_remove = button(this, "cmdRemove", "&Remove", "Remove the selected line");
    m_watch = button(this, "cmdWatch", "&Watch This Line", "Answer calls on the selected line");
    for (QPushButton* b : {addSip, addModem, m_settings, m_remove, m_watch})
        side->addWidget(b);
    side->addStretch(1);
    row->addLayout(side);
    layout->addLayout(row, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cmdCancel");
    layout->addWidget(buttons);
    resize(520, 300);

    connect(addSip, &QPushButton::clicked, this, [this] { addLine("sip", "SIP Line"); });
    connect(addModem, &QPushButton::clicked, this, [this] { addLine("modem", "Modem Line"); });
    connect(m_settings, &QPushButton::clicked, this, &frmLines::lineSettings);
    connect(m_remove, &QPushButton::clicked, this, &frmLines::removeLine);
    connect(m_watch, &QPushButton::clicked, this, &frmLines::watchSelected);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &frmLines::lineSettings);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    std::string error;
    if (!TelephonyConfigWriter::read(m_path, m_original, error))
        m_original = TelephonyConfig::defaultText();
    fillList();
}

bool frmLines::changed() const
{
    std::string now, error;
    TelephonyConfigWriter::read(m_path, now, error);
    return now != m_original || m_watched != m_startWatched;
}

void frmLines::done(int result)
{
    // Cancel leaves the configuration as it was found.
    if (result != QDialog::Accepted) {
        std::string now, error;
        if (TelephonyConfigWriter::read(m_path, now, error) && now != m_original)
            write(m_original);
    }
    QDialog::done(result);
}

void frmLines::fillList()
{
    const int keep = m_list->currentRow();
    std::string text, error;
    TelephonyConfigWriter::read(m_path, text, error);
    m_list->clear();
    for (const LineConfig& line : linesOf(text, m_path)) {
        const QString name = QString::fromStdString(line.name);
        QString caption = name + "  (" + kindOf(line.provider) + ")";
        if (name == m_watched)
            caption += "  - watched";
        auto* item = new QListWidgetItem(caption, m_list);
        item->setData(Qt::UserRole, line.deviceId);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(std::clamp(keep, 0, m_list->count() - 1));
    for (QPushButton* b : {m_settings, m_remove, m_watch})
        b->setEnabled(m_list->count() > 0);
}

bool frmLines::selected(unsigned& lineNumber, std::string& name, std::string& provider) const
{
    const QListWidgetItem* item = m_list->currentItem();
    if (!item)
        return false;
    lineNumber = item->data(Qt::UserRole).toUInt();
    std::string text, error;
    TelephonyConfigWriter::read(m_path, text, error);
    for (const LineConfig& line : linesOf(text, m_path)) {
        if (line.deviceId == lineNumber) {
            name = line.name;
            provider = line.provider;
            return true;
        }
    }
    return false;
}

bool frmLines::write(const std::string& text)
{
    std::string error;
    if (TelephonyConfigWriter::replace(m_path, text, error))
        return true;
    MessageBox::show("The lines could not be saved: " + QString::fromStdString(error),
                     MessageBox::Exclamation, "Lines");
    return false;
}

bool frmLines::settingsOf(unsigned lineNumber)
{
    std::string text, error;
    TelephonyConfigWriter::read(m_path, text, error);
    for (const LineConfig& line : linesOf(text, m_path)) {
        if (line.deviceId != lineNumber)
            continue;
        const auto dialog = kalvo::telephony::lineConfigDialogFor(line.provider);
        if (!dialog) {
            MessageBox::show("A " + kindOf(line.provider) + " has its settings in " +
                                 QString::fromStdString(m_path),
                             MessageBox::Information, "Lines");
            return true;
        }
        return dialog(line, m_path) == 0;
    }
    return false;
}

void frmLines::addLine(const char* provider, const QString& baseName)
{
    std::string text, error;
    TelephonyConfigWriter::read(m_path, text, error);
    // Names tell the lines apart everywhere else, so a new one gets a name of its own.
    QString name = baseName;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const LineConfig& line : linesOf(text, m_path))
            taken = taken || QString::fromStdString(line.name) == name;
        if (!taken)
            break;
        name = baseName + " " + QString::number(n);
    }
    unsigned lineNumber = 0;
    if (!write(TelephonyConfigWriter::addLine(text, name.toStdString(), provider, lineNumber)))
        return;
    fillList();
    m_list->setCurrentRow(m_list->count() - 1);
    if (!settingsOf(lineNumber))
        write(text);
    fillList();
    m_list->setCurrentRow(m_list->count() - 1);
}

void frmLines::lineSettings()
{
    unsigned lineNumber = 0;
    std::string name, provider;
    if (selected(lineNumber, name, provider))
        settingsOf(lineNumber);
}

void frmLines::removeLine()
{
    unsigned lineNumber = 0;
    std::string name, provider;
    if (!selected(lineNumber, name, provider))
        return;
    if (m_list->count() < 2) {
        MessageBox::show("Kalvo needs one line at least.", MessageBox::Exclamation, "Lines");
        return;
    }
    if (QString::fromStdString(name) == m_watched) {
        MessageBox::show("Kalvo watches this line. Watch another line first.", MessageBox::Exclamation,
                         "Lines");
        return;
    }
    if (MessageBox::show("Remove the line \"" + QString::fromStdString(name) + "\" ?",
                         MessageBox::YesNo | MessageBox::Question, "Lines") != MessageBox::Yes)
        return;
    std::string text, error;
    TelephonyConfigWriter::read(m_path, text, error);
    write(TelephonyConfigWriter::removeLine(text, lineNumber));
    fillList();
}

void frmLines::watchSelected()
{
    unsigned lineNumber = 0;
    std::string name, provider;
    if (!selected(lineNumber, name, provider))
        return;
    m_watched = QString::fromStdString(name);
    fillList();
}
