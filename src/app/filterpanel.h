#pragma once

class QGroupBox;
class QStackedWidget;
class QWidget;

namespace kelvalog {

class TDropDownList;
class TNumericField;
class TSlider;

// The Filtering group: the kind of filter and a page of settings for each.
class TFilterPanel
{
public:
    explicit TFilterPanel(QWidget& Form);

    QGroupBox* FilterBox() const { return FFilterBox; }
    QStackedWidget* FilterPages() const { return FFilterPages; }
    TDropDownList* FilterType() const { return FFilterType; }
    TNumericField* MarFilterSizeField() const { return FMarFilterSizeField; }
    TNumericField* FilterSliderEdit() const { return FFilterSliderEdit; }
    TSlider* FilterSlider() const { return FFilterSlider; }

private:
    QGroupBox* FFilterBox = nullptr;
    QStackedWidget* FFilterPages = nullptr;
    TDropDownList* FFilterType = nullptr;
    TNumericField* FMarFilterSizeField = nullptr;
    TNumericField* FFilterSliderEdit = nullptr;
    TSlider* FFilterSlider = nullptr;
};

} // namespace kelvalog
