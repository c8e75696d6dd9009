// The caller rules dialog's "Screening" page: whether and how callers are screened, the prompt
// (played or spoken from text), and the calls screened out in the last 30 days, each with "Allow"
// and "Block", counted per day. Settings are stored the moment they change.
#pragma once

#include "ScreenedCallStore.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class SpeechLink;
struct DialogHost;

class ScreeningPage : public QWidget
{
    Q_OBJECT

public:
    // addRule stores an allow (true) or block rule for a caller's name and number; @return false
    // when it failed (and said so).
    ScreeningPage(DialogHost& host, std::function<bool(bool, const QString&, const QString&)> addRule,
                  QWidget* parent = nullptr);
    ~ScreeningPage() override;

    // The screened-out calls of the last 30 days, newest first, and their counts per day.
    void fillList();

private:
    void store();
    QString promptPath() const;
    void playPrompt();
    // Makes the spoken prompt from the text with the speech helper.
    void speakPrompt();

    DialogHost& m_host;
    std::function<bool(bool, const QString&, const QString&)> m_addRule;
    kalvo::ScreenedCallStore m_store;
    std::vector<kalvo::ScreenedCall> m_calls;
    std::unique_ptr<SpeechLink> m_speech;
    QComboBox* m_mode;
    QComboBox* m_key;
    QSpinBox* m_wait;
    QComboBox* m_prompt;
    QLineEdit* m_text;
    QCheckBox* m_remember;
    QLineEdit* m_ownNumber;
    QTableWidget* m_list;
    QLabel* m_counts;
};
