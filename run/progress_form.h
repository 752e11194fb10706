#pragma once
// The progress window shown while a calibration or measurement pass runs.

#include <QWidget>

class TForm2 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
};
