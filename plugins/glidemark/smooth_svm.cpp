// Smooth support vector machine: objective, exact gradient, hit count,
// per-class training over (gamma, u) and the sign rule of classification.
#include "plugins/glidemark/smooth_svm.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "plugins/kernel_classifier/descent.h"
#include "plugins/kernel_classifier/script_flow.h"
#include "plugins/kernel_classifier/training_kernel.h"
#include "scriptrun/messages.h"

namespace {

double* glidemark_plus_values = nullptr;       // N: p(r_i, alpha)
double* glidemark_plus_derivatives = nullptr;  // N: p'(r_i, alpha)
double* kernel_scratch = nullptr;              // N: one kernel row when none is kept
double* weighted = nullptr;                    // N: y_j u_j, then p'_j p_j y_j
double* sums = nullptr;                        // N: kernel sums of the last pass

// sums[i] = sum_j K(i, j) y_j u_j (the sign products are exact, so the
// order of the factors is free).
void kernel_sums(const double* u, const glidemark_class_model& cls)
{
    int n = cls.rows;
    for (int j = 0; j < n; j++)
        weighted[j] = cls.labels[j] * u[j];
    kernel_products(cls.kernelMatrix, weighted, sums, kernel_scratch);
}

// r_i = (1 - s_i) + gamma y_i, s_i = y_i sums[i].
void residuals(double gamma, const double* u, const glidemark_class_model& cls, double* r)
{
    kernel_sums(u, cls);
    for (int i = 0; i < cls.rows; i++)
        r[i] = (1.0 - sums[i] * cls.labels[i]) + gamma * cls.labels[i];
}

// What the descent loop needs to evaluate one class at v = (gamma, u).
struct ClassContext {
    glidemark_class_model* cls;  // the class being trained
    double nu, alpha;            // loss weight and smoothness
};

double objective_of(const double* v, void* context)
{
    ClassContext* c = static_cast<ClassContext*>(context);
    return glidemark_objective(v[0], v + 1, c->nu, c->alpha, *c->cls);
}

void gradient_of(const double* v, double* g, void* context)
{
    ClassContext* c = static_cast<ClassContext*>(context);
    glidemark_gradient(v[0], v + 1, c->nu, c->alpha, *c->cls, g);
}

void report(const double* v, double norm, void* context)
{
    ClassContext* c = static_cast<ClassContext*>(context);
    int hits = glidemark_count_hits(v[0], v + 1, *c->cls);
    print_message("grad. norm.= %.3f, hits: %d/%d\n", norm, hits, c->cls->rows);
}

double decision(const glidemark_class_model& cls, const double* kernelRow)
{
    double s = 0.0;
    for (int k = 0; k < cls.rows; k++)
        s += kernelRow[k] * cls.labels[k] * cls.u[k];
    return s - cls.gamma;
}

}  // namespace

double smooth_plus(double x, double alpha)
{
    double e = std::exp(-alpha * x);
    double t = e + 1.0;
    return t == e ? 0.0 : x + std::log(t) / alpha;
}

double smooth_plus_derivative(double x, double alpha)
{
    double e = std::exp(-alpha * x);
    double t = e + 1.0;
    return t == e ? 0.0 : 1.0 / t;
}

int glidemark_alloc_work(int n)
{
    forget_kernel_products();  // a new class: products of another kernel are stale
    glidemark_plus_values = static_cast<double*>(std::calloc(n, sizeof(double)));
    glidemark_plus_derivatives = static_cast<double*>(std::calloc(n, sizeof(double)));
    kernel_scratch = static_cast<double*>(std::calloc(n, sizeof(double)));
    weighted = static_cast<double*>(std::calloc(n, sizeof(double)));
    sums = static_cast<double*>(std::calloc(n, sizeof(double)));
    if (!glidemark_plus_values || !glidemark_plus_derivatives || !kernel_scratch || !weighted ||
        !sums) {
        glidemark_free_work();
        print_message("Out of memory\n");
        return 0;
    }
    return 1;
}

void glidemark_free_work()
{
    for (double** p : {&glidemark_plus_values, &glidemark_plus_derivatives, &kernel_scratch,
                       &weighted, &sums}) {
        std::free(*p);
        *p = nullptr;
    }
}

double glidemark_objective(double gamma, const double* u, double nu, double alpha,
                           glidemark_class_model cls)
{
    int n = cls.rows;
    residuals(gamma, u, cls, glidemark_plus_values);
    double loss = 0.0, norm = 0.0;
    for (int i = 0; i < n; i++) {
        glidemark_plus_values[i] = smooth_plus(glidemark_plus_values[i], alpha);
        loss += glidemark_plus_values[i] * glidemark_plus_values[i];
    }
    for (int k = 0; k < n; k++)
        norm += u[k] * u[k];
    return (nu * loss + norm + gamma * gamma) * 0.5;
}

// g_0 = gamma + nu sum_i y_i p'_i p_i;
// g_(k+1) = u_k - nu y_k sum_j K(j, k) p'_j p_j y_j, summed row by row of K.
void glidemark_gradient(double gamma, const double* u, double nu, double alpha,
                        glidemark_class_model cls, double* g)
{
    int n = cls.rows;
    double* r = glidemark_plus_derivatives;  // the residuals, replaced by p' below
    residuals(gamma, u, cls, r);
    double bias = 0.0;
    for (int i = 0; i < n; i++) {
        glidemark_plus_values[i] = smooth_plus(r[i], alpha);
        glidemark_plus_derivatives[i] = smooth_plus_derivative(r[i], alpha);
        weighted[i] = glidemark_plus_derivatives[i] * glidemark_plus_values[i] * cls.labels[i];
        bias += cls.labels[i] * glidemark_plus_derivatives[i] * glidemark_plus_values[i];
        sums[i] = 0.0;
    }
    g[0] = gamma + nu * bias;
    for (int j = 0; j < n; j++) {
        const double* row = kernel_row(cls.kernelMatrix, j, kernel_scratch);
        for (int k = 0; k < n; k++)
            sums[k] += row[k] * weighted[j];
    }
    for (int k = 0; k < n; k++)
        g[k + 1] = u[k] - nu * sums[k] * cls.labels[k];
}

int glidemark_count_hits(double gamma, const double* u, glidemark_class_model cls)
{
    kernel_sums(u, cls);
    int hits = 0;
    for (int i = 0; i < cls.rows; i++)
        hits += sums[i] * cls.labels[i] - gamma * cls.labels[i] > 0.0;
    return hits;
}

int glidemark_train_class(glidemark_class_model* cls, double gradThreshold, double nu,
                          double alpha, int maxIter, int maxArmijoIter, double armijoMultiplier,
                          double armijoDelta, double maxStepSize, int m)
{
    int n = cls->rows;
    if (!glidemark_alloc_work(n)) {
        print_message("out of memory\n");
        return 0;
    }
    std::vector<double> v(static_cast<size_t>(n) + 1);
    v[0] = cls->gamma;
    std::copy(cls->u, cls->u + n, v.begin() + 1);
    LearningSettings s = learning_settings(gradThreshold, nu, alpha, maxIter, maxArmijoIter,
                                           armijoMultiplier, armijoDelta, maxStepSize, m);
    ClassContext context = {cls, nu, alpha};
    DescentProblem problem = {n + 1, v.data(), objective_of, gradient_of, report,
                              &context, static_cast<double>(n + 1), true};
    int done = descend(problem, s);
    cls->gamma = v[0];
    std::copy(v.begin() + 1, v.end(), cls->u);
    glidemark_free_work();
    return done;
}

void glidemark_classify(const glidemark_class_model* classes, int classCount,
                        const DataMatrix* labels, DataMatrix* out)
{
    classify_by_sign(classes, classCount, labels, out, decision);
}
