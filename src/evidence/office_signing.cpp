#include "evidence/signing.h"

#include <QMutex>
#include <QMutexLocker>

namespace tvq52 {

namespace {

struct RunSigning {
    QMutex mutex;
    SigningSetup setup;
    std::unique_ptr<Signer> signer;
    // Reloaded in place, never destroyed: a reference trust() gave stays valid.
    TrustStore trust;
    bool trustLoaded = false;
    bool warned = false;
    QString stampProblem;
};

RunSigning& run()
{
    static RunSigning state;
    return state;
}

} // namespace

void OfficeSigning::configure(const SigningSetup& setup)
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    state.setup = setup;
    state.signer.reset();
    state.trustLoaded = false;
}

Result<Signer*> OfficeSigning::signer()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    if (state.setup.folder.isEmpty())
        return static_cast<Signer*>(nullptr);
    if (!state.signer) {
        // Not kept when it fails: the next use tells again, never signs less.
        Result<std::unique_ptr<Signer>> loaded = KeyStore(state.setup.folder).load(state.setup);
        if (!loaded)
            return loaded.error();
        state.signer = std::move(loaded).value();
    }
    return state.signer.get();
}

const TrustStore& OfficeSigning::trust()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    if (!state.trustLoaded) {
        Result<TrustStore> loaded = TrustStore::load(state.setup.folder);
        state.trust = loaded ? std::move(loaded).value() : TrustStore();
        state.trustLoaded = true;
    }
    return state.trust;
}

QString OfficeSigning::timestampUrl()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    return state.setup.timestampUrl;
}

void OfficeSigning::noteTimeStampProblem(const QString& problem)
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    state.stampProblem = problem;
}

QString OfficeSigning::takeTimeStampProblem()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    return std::exchange(state.stampProblem, QString());
}

bool OfficeSigning::firstUnsignedWarning()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    return !std::exchange(state.warned, true);
}

void OfficeSigning::reset()
{
    RunSigning& state = run();
    QMutexLocker lock(&state.mutex);
    state.signer.reset();
    state.trustLoaded = false;
}

} // namespace tvq52
