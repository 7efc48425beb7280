// Training step of the kernel principal component plug-in.
#include "plugins/curvaxis/principal_axes.h"

#include <algorithm>

#include "scriptrun/messages.h"

// Column j of the model is the unit eigenvector of Kc for its j-th largest
// eigenvalue; a projected value is the centred-kernel inner product with it,
// not scaled by the eigenvalue.
bool train_curvaxis(TrainingSet& set, const KernelSettings& settings, const KernelTexts& texts,
                    KernelModel* model)
{
    OwnedMatrix kc = centred_training_kernel(set, texts);
    if (!kc)
        return false;
    OwnedMatrix values = descending_eigenvalues(kc.get(), texts);
    if (!values)
        return false;
    int m = std::min(settings.feanum, leading_run(values.get(), positive_eigenvalue));
    if (m < 1) {
        print_message("%s: positive eigenvalues are not exist!\n", texts.train_prefix);
        return false;
    }
    OwnedMatrix v = leading_eigenvectors(kc.get(), values.get(), m, texts);
    if (!v)
        return false;
    model->coefficients = std::move(v);
    return true;
}
