// The drop-down list of the target window picker: tells when it is about to drop down and when
// it has closed again, whether by a choice, Escape or a click elsewhere.
#pragma once

#include <QComboBox>
#include <functional>

namespace region {

class PickerComboBox : public QComboBox {
public:
    explicit PickerComboBox(QWidget* parent);

    std::function<void()> OnDropDown;  // before the list opens
    // After it closed, once the choice (if any) is selected; also when the list came out empty
    // and so never opened.
    std::function<void()> OnCloseUp;

    void showPopup() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace region
