#pragma once

#include <QWidget>

// Base of the top-level windows (main window and message bubble): such a
// window deletes itself on close without ending the application by itself.
class parent_widget : public QWidget {
    Q_OBJECT
public:
    explicit parent_widget(QWidget* parent = nullptr);

signals:
    void sig_resize_widget(bool is_two_module, bool user_expend);
    void sig_exit();

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
