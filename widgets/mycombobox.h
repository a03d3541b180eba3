#ifndef MYCOMBOBOX_H
#define MYCOMBOBOX_H

#include <QComboBox>

// A drop-down list for the touch panel: tall rows and a large font in the
// pop-up, finger scrolling, and a pop-up never narrower than its widest item.
class MyComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit MyComboBox(QWidget *parent = nullptr);

    void showPopup() override;
};

#endif // MYCOMBOBOX_H
