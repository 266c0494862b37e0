#pragma once

class QComboBox;
class QFrame;
class QToolButton;
class QWidget;

namespace kelvalog {

class TAttachedLabel;
class TNumericField;

// The bar along the window's top: on line, write logfile, the board in use,
// the trend and the pressure sensor's range.
class TTopPanel
{
public:
    explicit TTopPanel(QWidget& Form);
    // The trend's button, made once the trend is.
    void AddTrendAction();

    QFrame* Panel1() const { return FPanel1; }
    QToolButton* OnLineAction() const { return FOnLineAction; }
    QToolButton* LogOnAction() const { return FLogOnAction; }
    QToolButton* TrendAction() const { return FTrendAction; }
    QComboBox* UsedBoardComboBox() const { return FUsedBoardComboBox; }
    TAttachedLabel* AttachedLabel23() const { return FAttachedLabel23; }
    TNumericField* PSensorLowerRange() const { return FPSensorLowerRange; }
    TNumericField* PSensorUpperRange() const { return FPSensorUpperRange; }
    // The pressure range is shown for the board that has a pressure sensor.
    void ShowBoard(int Board);

private:
    QFrame* FPanel1 = nullptr;
    QToolButton* FOnLineAction = nullptr;
    QToolButton* FLogOnAction = nullptr;
    QToolButton* FTrendAction = nullptr;
    QComboBox* FUsedBoardComboBox = nullptr;
    TAttachedLabel* FAttachedLabel23 = nullptr;
    TNumericField* FPSensorLowerRange = nullptr;
    TNumericField* FPSensorUpperRange = nullptr;
};

} // namespace kelvalog
