// The smooth support vector machine of one class against the rest, over
// v = (gamma, u):
// f = 0.5 (nu sum_i p(r_i, alpha)^2 + sum_k u_k^2 + gamma^2),
// r_i = 1 - y_i (sum_j K(i, j) y_j u_j - gamma), p the smooth plus function.
#ifndef GLIDEMARK_SMOOTH_SVM_H
#define GLIDEMARK_SMOOTH_SVM_H

#include "plugins/glidemark/model.h"

// x + ln(1 + e^(-alpha x)) / alpha; 0 once 1 + e^(-alpha x) rounds to
// e^(-alpha x). The derivative is 1 / (1 + e^(-alpha x)), 0 likewise.
double smooth_plus(double x, double alpha);
double smooth_plus_derivative(double x, double alpha);

// The per-class work arrays (plus values and derivatives, two rows); 1, or
// 0 after "Out of memory\n" with nothing held.
int glidemark_alloc_work(int n);
void glidemark_free_work();

double glidemark_objective(double gamma, const double* u, double nu, double alpha,
                           glidemark_class_model cls);

// The N + 1 gradient components into g, g[0] for gamma.
void glidemark_gradient(double gamma, const double* u, double nu, double alpha,
                        glidemark_class_model cls, double* g);

// Rows strictly on their own side: y_i (sum_j K(i, j) y_j u_j - gamma) > 0.
int glidemark_count_hits(double gamma, const double* u, glidemark_class_model cls);

// Trains cls->gamma and cls->u in place; 1, or 0 when memory runs out.
int glidemark_train_class(glidemark_class_model* cls, double gradThreshold, double nu,
                          double alpha, int maxIter, int maxArmijoIter, double armijoMultiplier,
                          double armijoDelta, double maxStepSize, int m);

// out[i][c-1] = +1.0 when sum_k K_c(i, k) y_k u_c[k] - gamma_c >= 0, else
// -1.0; out[i][C] the label.
void glidemark_classify(const glidemark_class_model* classes, int classCount,
                        const DataMatrix* labels, DataMatrix* out);

#endif
