#pragma once

#include <QObject>
#include <QString>

namespace kelvalog {

// A non-visual component: owned by its owner (the QObject parent), with a
// read-only version text and a loading state used while a form applies its
// stored property values.
class TBaseComponent : public QObject
{
    Q_OBJECT
public:
    explicit TBaseComponent(QObject* AOwner = nullptr) : QObject(AOwner) {}

    static QString Version() { return QStringLiteral("1.0"); }

    bool Loading() const { return FLoading; }
    // Start and end of loading; ending it runs Loaded().
    void BeginLoading() { FLoading = true; }
    void EndLoading()
    {
        if (!FLoading)
            return;
        FLoading = false;
        Loaded();
    }

protected:
    virtual void Loaded() {}

private:
    bool FLoading = false;
};

} // namespace kelvalog
