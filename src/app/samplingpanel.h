#pragma once

class QCheckBox;
class QGroupBox;
class QLabel;
class QWidget;

namespace kelvalog {

class TNumericField;

// The Sampling group: the interval between samples and whether a sample
// averages the readings in between.
class TSamplingPanel
{
public:
    explicit TSamplingPanel(QWidget& Form);

    QGroupBox* GroupBox1() const { return FGroupBox1; }
    TNumericField* SampleIntervalField() const { return FSampleIntervalField; }
    QCheckBox* AverageSamplesCheckBox() const { return FAverageSamplesCheckBox; }
    QLabel* WarningLabel() const { return FWarningLabel; }

private:
    QGroupBox* FGroupBox1 = nullptr;
    TNumericField* FSampleIntervalField = nullptr;
    QCheckBox* FAverageSamplesCheckBox = nullptr;
    QLabel* FWarningLabel = nullptr;
};

} // namespace kelvalog
