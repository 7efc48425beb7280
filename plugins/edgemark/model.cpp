// The exponential-loss classifier's names over the kernel classifiers'
// shared model code.
#include "plugins/edgemark/model.h"

#include "plugins/kernel_classifier/model_io.h"

const ClassifierNames edgemark_names = {
    "edgemark_classifier", "edgemark_definition", "edgemark", "edgemarkakeInit",
    "edgemarkMakeInit", "edgemarkLearn", "edgemark", "edgemarkEvaluate",
    {"1.00", "10.0", "100", "50", "0.1", "0.1", "2", "100", "1e-6"}, false};

double*& edgemark_training_rows = training_rows;

int edgemark_load_model(XMLParser** document, edgemark_class_model** classes,
                        const DataMatrix* samples, int cacheSize)
{
    return load_class_models(document, edgemark_names, classes, samples, cacheSize) > 0;
}

void edgemark_save_model(XMLParser** document, const char* fileName,
                         const edgemark_class_model* classes, int classCount)
{
    save_class_models(document, edgemark_names, fileName, classes, classCount);
}

void edgemark_free_model(edgemark_class_model** classes, int classCount)
{
    free_class_models(classes, classCount);
}
