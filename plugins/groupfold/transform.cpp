// Training of the pair-weighted discriminant.
#include "plugins/groupfold/transform.h"

#include "plugins/discriminant_common/unit_scale.h"
#include "support/eigen.h"

TrainStatus train_groupfold(const DataMatrix* db, PairWeights weights, OwnedMatrix* q)
{
    int d = db->cols - 1;
    OwnedMatrix x = make_matrix(1, 1), y = make_matrix(1, 1), s = make_matrix(d, d);
    if (!x || !y || !s)
        return TrainStatus::no_memory;
    split_features_labels(db, x.get(), y.get());
    if (x->data == nullptr || y->data == nullptr)
        return TrainStatus::no_memory;
    // An exact power-of-two scaling keeps the pair sums in range and leaves
    // the eigenvectors as they are.
    scale_to_unit(x.get());
    if (!pair_scatter(x.get(), y.get(), weights, s.get()))
        return TrainStatus::no_memory;
    if (!all_finite(s.get()))
        return TrainStatus::not_finite;
    OwnedMatrix values = make_matrix(d, 1), vectors = make_matrix(d, d);
    if (!values || !vectors)
        return TrainStatus::no_eigen_memory;
    matrix_fill(values.get(), 0.0);
    matrix_fill(vectors.get(), 0.0);
    KeptReduction reduced;
    if (!matrix_eigenvalues_symm(s.get(), values.get(), &reduced))
        return TrainStatus::no_eigenvalues;
    if (!matrix_eigenvectors(s.get(), values.get(), vectors.get(), &reduced))
        return TrainStatus::no_eigenvectors;
    if (!all_finite(vectors.get()))
        return TrainStatus::not_finite;
    *q = std::move(vectors);
    return TrainStatus::ok;
}
