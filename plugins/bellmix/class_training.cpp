// One mixture per class, one for the whole database or one for a chosen
// class; a mixture that cannot be fitted is written with weights 0 so that it
// never wins a row.
#include "plugins/bellmix/class_training.h"

#include <memory>
#include <string>

#include "plugins/bellmix/mixture_model.h"
#include "plugins/bellmix/rbf_network.h"
#include "plugins/bellmix/training.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"

namespace {

// An unfitted mixture keeps what it last received, with weights 0, so that
// it never wins a row; values that are not finite are not kept (no file may
// hold them), and the mixture is then written as zeros.
void mark_unfitted(MixtureModel* m)
{
    if (!m->parameters_finite()) {
        MixtureModel zeros(m->getDimension(), m->getNumOfMix(), m->getDiagonal());
        m->copyParameters(zeros);
    }
    DataMatrix* w = matrix_alloc(1, m->getNumOfMix());
    matrix_fill(w, 0.0);
    m->setWeights(w);
    matrix_free(w);
}

// Trains m on the listed positions from .. to-1 and writes it as MIXTURE
// index into the document; what stands for the rows in the trace is named by
// what. False when it could not be written.
bool train_and_write(MixtureModel* m, const DataMatrix* features, const ClassLists& lists,
                     int from, int to, const TrainingOptions& o, XMLParser** document,
                     int index, const char* what)
{
    if (!train_mixture(m, features, lists.rows.data() + from, to - from, o.numOfMix,
                       o.kmeansStarts, o.emMaxIt, o.epsilon, o.kmeansMaxIt) ||
        !m->parameters_finite()) {
        mark_unfitted(m);
        print_message("The mixture of %s could not be fitted; it is written with weights 0\n",
                      what);
    }
    return m->writeToDocument(document, index) != 0;
}

// False when the weights were fitted but could not be written.
bool fit_network(RbfNetwork* net, const DataMatrix* features, const DataMatrix* labels, int C,
                 int emMaxIt, XMLParser** document)
{
    int n = features->rows, fitted;
    if (emMaxIt == -1) {
        print_message("\nOptimizing the weights via pseudo-inverse calculation...");
        fitted = rbf_weights_least_squares(net, features, n, C, labels);
    } else {
        print_message("\nOptimizing the weights via matrix inversion...");
        fitted = rbf_weights_inverse(net, features, n, C, labels);
    }
    if (!fitted) {
        print_message("\nThe weights could not be optimized; no network weights are written\n");
        return true;
    }
    print_message("\nThe weights were succesfully optimized\n");
    return net->writeToDocument(document) != 0;
}

// Stops at the first mixture that cannot be written.
bool train_every_class(const DataMatrix* features, const DataMatrix* labels, int C,
                       const ClassLists& lists, const TrainingOptions& o, XMLParser** document)
{
    int D = features->cols;
    bool network = o.emMaxIt == -1 || o.emMaxIt == -2;
    std::unique_ptr<RbfNetwork> net;
    std::unique_ptr<MixtureModel> local;
    if (o.emMaxIt < 0)
        net.reset(new RbfNetwork(D, C, o.numOfMix, o.diagonal));
    else
        local.reset(new MixtureModel(D, o.numOfMix, o.diagonal));
    for (int i = 1; i <= C; ++i) {
        print_message("\nTraining class %i\n", i);
        MixtureModel* m = net ? net->getMixture(i) : local.get();
        std::string what = "class " + std::to_string(i);
        if (!train_and_write(m, features, lists, lists.offsets[i - 1], lists.offsets[i], o,
                             document, i, what.c_str()))
            return false;
    }
    return !network || fit_network(net.get(), features, labels, C, o.emMaxIt, document);
}

}  // namespace

ClassLists build_class_lists(const DataMatrix* labels, int C)
{
    ClassLists lists;
    lists.offsets.assign(C + 1, 0);
    int n = labels->rows;
    // A row belongs to class c when its label equals c exactly.
    auto class_of = [&](int r) {
        double label = labels->data[r];
        int c = label >= 1.0 && label <= C ? static_cast<int>(label) : 0;
        return c == label ? c : 0;
    };
    for (int r = 0; r < n; ++r)
        if (int c = class_of(r))
            ++lists.offsets[c];
    for (int c = 1; c <= C; ++c)
        lists.offsets[c] += lists.offsets[c - 1];
    lists.rows.assign(lists.offsets[C], 0);
    std::vector<int> next(lists.offsets.begin(), lists.offsets.end() - 1);
    for (int r = 0; r < n; ++r)
        if (int c = class_of(r))
            lists.rows[next[c - 1]++] = r;
    return lists;
}

namespace {

// Class c of a kept file is always MIXTURE c: the classes missing before it
// get placeholders of weight 0 (the form of a class that could not be
// fitted), which never win a row. The network's weights were fitted to the
// earlier mixtures, so they go.
bool prepare_one_class(int c, const TrainingOptions& o, int D, XMLParser** document)
{
    if (XMLchangeElement(document, "/BELLMIX/parameters/RBFN") && XMLremoveElement(document))
        print_message("BELLMIX: the network weights were fitted to the earlier mixtures; "
                      "the RBFN element is removed\n");
    MixtureModel placeholder(D, o.numOfMix, o.diagonal);
    for (int i = count_mixtures(document) + 1; i < c; ++i) {
        print_message("BELLMIX: class %d has no mixture in the file; MIXTURE %d is written "
                      "with weights 0\n", i, i);
        if (!placeholder.writeToDocument(document, i))
            return false;
    }
    return true;
}

}  // namespace

bool train_classes(const DataMatrix* features, const DataMatrix* labels, int C,
                   const TrainingOptions& o, XMLParser** document)
{
    ClassLists lists = build_class_lists(labels, C);
    int D = features->cols;
    if (o.classToTrain == -1)
        return train_every_class(features, labels, C, lists, o, document);
    MixtureModel local(D, o.numOfMix, o.diagonal);
    if (o.classToTrain == 0) {
        print_message("\nTraining one model on the whole database\n");
        return train_and_write(&local, features, lists, 0, lists.offsets[C], o, document, 1,
                               "the whole database");
    }
    int c = o.classToTrain;
    if (!prepare_one_class(c, o, D, document))
        return false;
    print_message("\nTraining class %i\n", c);
    std::string what = "class " + std::to_string(c);
    return train_and_write(&local, features, lists, lists.offsets[c - 1], lists.offsets[c], o,
                           document, c, what.c_str());
}
