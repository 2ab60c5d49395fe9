// The view interface the engine and the superfile reader use: controls
// addressed by number. A call of another thread is carried out on the
// dialog's thread and waits for it; after ReleaseWorker it returns at once
// without touching the window.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "FlashView.h"
#include "ORX_FP_FlashDlg.h"
#include "ORX_FP_FlashDlg_GuiCalls.h"

std::string CFlashDlg::GetControlText(int id) {
    return calls->Call<std::string>([this, id] { return TextOf(id); }, std::string());
}

void CFlashDlg::SetControlText(int id, const std::string& text) {
    calls->Run([this, id, text] { SetTextOf(id, text); });
}

void CFlashDlg::EnableControl(int id, bool enable) {
    calls->Run([this, id, enable] {
        if (QWidget* control = Control(id)) {
            control->setEnabled(enable);
        }
    });
}

void CFlashDlg::ShowControl(int id, bool show) {
    calls->Run([this, id, show] {
        if (QWidget* control = Control(id)) {
            control->setVisible(show);
        }
    });
}

void CFlashDlg::ListReset(int id) {
    calls->Run([this, id] {
        if (auto* list = qobject_cast<QComboBox*>(Control(id))) {
            list->clear();
        }
    });
}

void CFlashDlg::ListAdd(int id, const std::string& line) {
    calls->Run([this, id, line] { AddSorted(id, line); });
}

void CFlashDlg::ListSelect(int id, int index) {
    calls->Run([this, id, index] {
        if (auto* list = qobject_cast<QComboBox*>(Control(id))) {
            list->setCurrentIndex(index < list->count() ? index : -1);
        }
    });
}

void CFlashDlg::CheckRadio(int id, bool checked) {
    calls->Run([this, id, checked] {
        if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
            button->setChecked(checked);
        }
    });
}

void CFlashDlg::Move(int left, int top, int right, int bottom) {
    calls->Run([this, left, top, right, bottom] {
        setGeometry(left, top, right - left, bottom - top);
        repaint();
    });
}

std::string CFlashDlg::TextOf(int id) const {
    QWidget* control = Control(id);
    if (auto* field = qobject_cast<QLineEdit*>(control)) {
        return field->text().toStdString();
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        return list->currentText().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text().toStdString();
    }
    if (auto* group = qobject_cast<QGroupBox*>(control)) {
        return group->title().toStdString();
    }
    return {};
}

void CFlashDlg::SetTextOf(int id, const std::string& text) {
    QWidget* control = Control(id);
    QString wanted = QString::fromStdString(text);
    if (id == ctl::kFileName) {
        SetFileNameBox(text);
    } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
        field->setText(wanted);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(wanted);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(wanted);
    }
}

// The drop-down lists keep their lines sorted, ignoring case.
void CFlashDlg::AddSorted(int id, const std::string& line) {
    auto* list = qobject_cast<QComboBox*>(Control(id));
    if (list == nullptr) {
        return;
    }
    QString item = QString::fromStdString(line);
    int at = 0;
    while (at < list->count() &&
           QString::compare(list->itemText(at), item, Qt::CaseInsensitive) <= 0) {
        ++at;
    }
    list->insertItem(at, item);
}
