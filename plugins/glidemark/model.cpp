// The smooth support vector machine's names over the kernel classifiers'
// shared model code.
#include "plugins/glidemark/model.h"

#include "plugins/kernel_classifier/model_io.h"

const ClassifierNames glidemark_names = {
    "glidemark_classifier", "GLIDEMARK_definition", "GLIDEMARK", "GLIDEMARKakeInit",
    "GLIDEMARKMakeInit", "GLIDEMARKLearn", "GLIDEMARK", "GLIDEMARKEvaluate",
    {"1.00", "10.0", "500", "10", "0.4", "0.1", "1", "7", "0.01"}, true};

double*& glidemark_training_rows = training_rows;

int glidemark_load_model(XMLParser** document, glidemark_class_model** classes,
                         const DataMatrix* samples)
{
    return load_class_models(document, glidemark_names, classes, samples, 0) > 0;
}

void glidemark_save_model(XMLParser** document, const char* fileName,
                          const glidemark_class_model* classes, int classCount)
{
    save_class_models(document, glidemark_names, fileName, classes, classCount);
}

void glidemark_free_model(glidemark_class_model** classes, int classCount)
{
    free_class_models(classes, classCount);
}
