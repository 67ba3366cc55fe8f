#pragma once
#include <QMainWindow>

#include "app/DocumentState.h"

namespace torvane {

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    DocumentState& doc() { return m_doc; }
    bool engineReady() const { return m_engineReady; }

private:
    void FormCreate();
    void FormDestroy();

    DocumentState m_doc;
    bool m_engineReady = false;
};

}  // namespace torvane
