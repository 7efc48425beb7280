// Exponential loss: objective, exact gradient, per-class training and the
// sign rule of classification.
#include "plugins/edgemark/exp_loss.h"

#include <cmath>
#include <cstdlib>

#include "plugins/kernel_classifier/descent.h"
#include "plugins/kernel_classifier/script_flow.h"
#include "plugins/kernel_classifier/training_kernel.h"
#include "scriptrun/messages.h"
#include "support/kernel_matrix.h"

namespace {

double* edgemark_loss_derivatives = nullptr;  // N: exp_loss'(s_i) of the last gradient
double* kernel_scratch = nullptr;             // N: one kernel row when none is kept
double* margins = nullptr;                    // N: the margins of the last pass

// margins[i] = s_i = y_i * sum_j K(i, j) u_j, the margin of training row i.
void compute_margins(const double* u, const edgemark_class_model& cls)
{
    kernel_products(cls.kernelMatrix, u, margins, kernel_scratch);
    for (int i = 0; i < cls.rows; i++)
        margins[i] *= cls.labels[i];
}

// What the descent loop needs to evaluate one class.
struct ClassContext {
    edgemark_class_model* cls;  // the class being trained
    double alpha;               // passed through, unused by the loss
};

double objective_of(const double* v, void* context)
{
    ClassContext* c = static_cast<ClassContext*>(context);
    return edgemark_objective(v, c->alpha, *c->cls);
}

void gradient_of(const double* v, double* g, void* context)
{
    ClassContext* c = static_cast<ClassContext*>(context);
    edgemark_gradient(v, c->alpha, *c->cls, g);
}

void report(const double*, double norm, void*)
{
    print_message("grad. norm.= %g\n", norm);
}

double decision(const edgemark_class_model& cls, const double* kernelRow)
{
    double s = 0.0;
    for (int k = 0; k < cls.rows; k++)
        s += kernelRow[k] * cls.u[k];
    return s;
}

}  // namespace

double exp_loss(double z)
{
    double e = std::exp(-z);
    return e + 1.0 == e ? 1e8 : e;
}

double exp_loss_derivative(double z)
{
    return -exp_loss(z);
}

int edgemark_alloc_work(int n)
{
    forget_kernel_products();  // a new class: products of another kernel are stale
    edgemark_loss_derivatives = static_cast<double*>(std::calloc(n, sizeof(double)));
    kernel_scratch = static_cast<double*>(std::calloc(n, sizeof(double)));
    margins = static_cast<double*>(std::calloc(n, sizeof(double)));
    if (edgemark_loss_derivatives == nullptr || kernel_scratch == nullptr || margins == nullptr) {
        edgemark_free_work();
        print_message("Out of memory\n");
        return 0;
    }
    return 1;
}

void edgemark_free_work()
{
    std::free(edgemark_loss_derivatives);
    std::free(kernel_scratch);
    std::free(margins);
    edgemark_loss_derivatives = kernel_scratch = margins = nullptr;
}

double edgemark_objective(const double* u, double, edgemark_class_model cls)
{
    compute_margins(u, cls);
    double f = 0.0;
    for (int i = 0; i < cls.rows; i++)
        f += exp_loss(margins[i]);
    return f;
}

// g_k = sum_j K(j, k) exp_loss'(s_j) y_j, summed row by row of K.
void edgemark_gradient(const double* u, double, edgemark_class_model cls, double* g)
{
    int n = cls.rows;
    compute_margins(u, cls);
    for (int i = 0; i < n; i++)
        edgemark_loss_derivatives[i] = exp_loss_derivative(margins[i]);
    for (int k = 0; k < n; k++)
        g[k] = 0.0;
    for (int j = 0; j < n; j++) {
        double w = edgemark_loss_derivatives[j] * cls.labels[j];
        const double* row = kernel_row(cls.kernelMatrix, j, kernel_scratch);
        for (int k = 0; k < n; k++)
            g[k] += row[k] * w;
    }
}

int edgemark_train_class(edgemark_class_model* cls, double gradThreshold, double alpha,
                         int maxIter, int maxArmijoIter, double armijoMultiplier,
                         double armijoDelta, double maxStepSize, int m)
{
    if (!edgemark_alloc_work(cls->rows)) {
        print_message("out of memory\n");
        return 0;
    }
    LearningSettings s = learning_settings(gradThreshold, 1.0, alpha, maxIter, maxArmijoIter,
                                           armijoMultiplier, armijoDelta, maxStepSize, m);
    ClassContext context = {cls, alpha};
    DescentProblem problem = {cls->rows, cls->u, objective_of, gradient_of, report,
                              &context, 1.0, false};
    int done = descend(problem, s);
    edgemark_free_work();
    return done;
}

void edgemark_classify(const edgemark_class_model* classes, int classCount,
                       const DataMatrix* labels, DataMatrix* out)
{
    classify_by_sign(classes, classCount, labels, out, decision);
}
