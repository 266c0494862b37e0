// Renders every control into a picture under $KELVALOG_TEST_OUTPUT/gallery
// for a look by eye; checks only that the pictures were written.
#include "controls/attachedlabel.h"
#include "controls/buttonedit.h"
#include "controls/digitalclock.h"
#include "controls/dropdownlist.h"
#include "controls/numericfield.h"
#include "controls/panelstatusbar.h"
#include "controls/simplefield.h"
#include "controls/slider.h"
#include "controls/spinner.h"

#include "testsupport.h"

#include <QDir>
#include <QtTest>

using namespace kelvalog;

class GalleryTest : public QObject
{
    Q_OBJECT

private slots:
    void renderControls()
    {
        const QString base = qEnvironmentVariable("KELVALOG_TEST_OUTPUT", QDir::tempPath());
        const QString dir = base + QStringLiteral("/gallery");
        QVERIFY(QDir().mkpath(dir));

        QWidget window;
        window.resize(420, 330);
        window.setAutoFillBackground(true);

        auto* display = new TNumericField(&window);
        display->setDataType(TNumericDataType::nftSingle);
        display->setPictureMask(QStringLiteral("###.##"));
        display->setReadOnly(true);
        display->setGeometry(68, 20, 41, 21);
        display->SetFloatValue(-5.2);
        auto* displayLabel = new TAttachedLabel(QStringLiteral("T1 (\u00b0C)"), &window);
        displayLabel->resize(50, 13);
        displayLabel->setControl(display, {-56, 14, true});

        auto* stale = new TNumericField(&window);
        stale->setDataType(TNumericDataType::nftSingle);
        stale->setPictureMask(QStringLiteral("#####"));
        stale->setReadOnly(true);
        stale->setGeometry(124, 20, 41, 21);
        stale->SetFloatValue(998.6);
        stale->setColor(window.palette().color(QPalette::Button));

        auto* interval = new TNumericField(&window);
        interval->setPictureMask(QStringLiteral("9999999999"));
        interval->setRange(1, 32767);
        interval->setGeometry(16, 70, 97, 21);
        interval->SetIntegerValue(12);
        auto* intervalLabel =
            new TAttachedLabel(QStringLiteral("Log interval (in samples)"), &window);
        intervalLabel->resize(113, 13);
        intervalLabel->setControl(interval);
        auto* spinner = new TSpinner(&window);
        spinner->setGeometry(112, 70, 16, 21);
        spinner->setFocusedControl(interval);

        auto* disabled = new TNumericField(&window);
        disabled->setGeometry(16, 100, 33, 17);
        disabled->SetIntegerValue(42);
        disabled->setReadOnly(true);
        disabled->setEnabled(false);

        auto* hms = new TSimpleField(&window);
        hms->setGeometry(16, 125, 113, 21);
        hms->SetTextValue(QStringLiteral("00:01:30"));

        auto* edit = new TButtonEdit(&window);
        edit->setGeometry(16, 155, 177, 21);
        edit->setText(QStringLiteral("/home/user/log.slk"));

        auto* list = new TDropDownList(&window);
        list->addItems({QStringLiteral("Spreadsheet compatible file"),
                        QStringLiteral("TAB-delimited text file"),
                        QStringLiteral("Excel worksheet")});
        list->setGeometry(16, 185, 185, 22);

        auto* slider = new TSlider(&window);
        slider->setGeometry(230, 20, 20, 177);
        slider->setPosition(30);

        auto* clock = new TDigitalClock(&window);
        clock->setGeometry(16, 220, 136, 30);
        clock->SetTimeSource([] { return QTime(13, 47, 5); });
        clock->Tick();

        auto* bar = new TPanelStatusBar(&window);
        bar->setGeometry(0, 311, 420, 19);
        auto* container = new QWidget;
        container->setAutoFillBackground(true);
        QPalette pal = container->palette();
        pal.setColor(QPalette::Window, Qt::darkGreen);
        container->setPalette(pal);
        bar->AddContainerPanel(50, container);
        bar->AddTextPanel(50);
        bar->setPanelText(1, QStringLiteral("The number of samples between two log records"));

        QVERIFY(ShowActive(window));
        interval->setFocus();

        const auto save = [&](QWidget* w, const QString& name) {
            const QImage image = w->grab().toImage();
            QVERIFY(image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")));
            // Enlarged copy to judge single pixels.
            QVERIFY(image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        .save(dir + QLatin1Char('/') + name + QStringLiteral("_x4.png")));
        };
        save(&window, QStringLiteral("all"));
        save(display, QStringLiteral("numericfield"));
        save(interval, QStringLiteral("numericfield_focused"));
        save(disabled, QStringLiteral("numericfield_disabled"));
        save(hms, QStringLiteral("simplefield"));
        save(edit, QStringLiteral("buttonedit"));
        save(list, QStringLiteral("dropdownlist"));
        save(slider, QStringLiteral("slider"));
        save(spinner, QStringLiteral("spinner"));
        save(clock, QStringLiteral("digitalclock"));
        save(bar, QStringLiteral("panelstatusbar"));
    }
};

QTEST_MAIN(GalleryTest)
#include "gallery_test.moc"
