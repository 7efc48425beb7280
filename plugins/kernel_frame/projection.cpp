// The projection side of the kernel-model frame: read the training rows, the
// kernel and the coefficient rows A from a model file and map each database
// row z to sum over k of Kc(z, x_k) A[k][j].
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "plugins/kernel_frame/kernel_frame.h"
#include "plugins/kernel_frame/model_file.h"
#include "scriptrun/messages.h"
#include "xml/finite_values.h"
#include "xml/xml_functions.h"

namespace {

// The stored model as projection needs it.
struct StoredModel {
    int n;              // training rows
    int d;              // feature columns
    int m;              // coefficient columns
    int8_t kernel;      // kernel code 0..3
    double param[5];    // kernel parameters
    OwnedMatrix x;      // n x d training rows
    OwnedMatrix a;      // n x m coefficient rows
};

bool check_arguments(void** values, const int* types, int count, const char* prefix,
                     const DataMatrix** db, const char** file)
{
    if (count != 2) {
        print_message("%s: 2 parameters are required\n", prefix);
        return false;
    }
    if (!check_matrix_and_name(types, prefix))
        return false;
    *db = static_cast<const DataMatrix*>(values[0]);
    *file = static_cast<const char*>(values[1]);
    // A matrix without rows or data has nothing to project.
    if (*db == nullptr || *file == nullptr || (*db)->rows <= 0 || (*db)->cols <= 0 ||
        (*db)->data == nullptr) {
        print_message("%s: empty parameter\n", prefix);
        return false;
    }
    // The labels are copied into the result, so they must be finite too.
    return check_finite_values(*db, prefix, 1) != 0;
}

// The "value" of the element at path into *value, which keeps its default
// when the element or the attribute is missing; false when the text is not
// a whole number.
bool stored_int(XMLParser** handle, const std::string& path, int* value)
{
    return !XMLchangeElement(handle, path.c_str()) ||
           read_whole_attribute(handle, "value", value) != ValueRead::refused;
}

// As stored_int, for a finite real.
bool stored_real(XMLParser** handle, const std::string& path, double* value)
{
    return !XMLchangeElement(handle, path.c_str()) ||
           read_finite_attribute(handle, "value", value) != ValueRead::refused;
}

// Moves to "<path><stem>_<i>"; the path is formed in place, so that reading
// the rows allocates nothing per row.
bool goto_row(XMLParser** handle, const std::string& path, const char* stem, int i)
{
    char name[512];
    int length = snprintf(name, sizeof name, "%s%s_%d", path.c_str(), stem, i);
    return length > 0 && length < static_cast<int>(sizeof name) && XMLchangeElement(handle, name);
}

// The sizes; rows beyond the stated count make the file inconsistent.
bool read_sizes(XMLParser** handle, const std::string& top, const KernelTexts& t,
                const DataMatrix* db, StoredModel* s)
{
    std::string p = top + "/parameters/";
    s->n = s->d = s->m = 0;
    bool whole = stored_int(handle, p + "row", &s->n) && stored_int(handle, p + "column", &s->d) &&
                 stored_int(handle, p + "newcolumn", &s->m);
    if (!whole || s->n < 1 || s->d < 1 || s->m < 1 ||
        goto_row(handle, p, "X", s->n) || goto_row(handle, p, t.coefficients, s->n)) {
        print_message("%s: problems with sizes in %s parameters\n", t.execute_prefix, t.root);
        return false;
    }
    if (db->cols - 1 != s->d) {
        print_message("%s: incompatible sizes - matrix and %s\n", t.execute_prefix, t.root);
        return false;
    }
    return true;
}

// The kernel, read once the rows are known to fit; a missing element is 0
// (the linear kernel, no parameters). A code that is not a whole number, a
// parameter that is not a finite number, and a kernel that cannot be used
// (kernel_fault: a code the kernel routines do not know, or a width that
// makes every exponential value of a row with itself 0/0) make the file
// inconsistent.
bool read_kernel(XMLParser** handle, const std::string& top, const KernelTexts& t,
                 StoredModel* s)
{
    std::string p = top + "/parameters/";
    int code = 0;
    if (!stored_int(handle, p + "kernel", &code)) {
        print_message("%s: kernel in %s parameters holds a value that is not a whole number\n",
                      t.execute_prefix, t.root);
        return false;
    }
    for (int k = 0; k < 5; ++k) {
        s->param[k] = 0.0;
        if (!stored_real(handle, format_text("%skernel_param%d", p.c_str(), k), &s->param[k])) {
            print_message("%s: kernel_param%d in %s parameters holds a value that is not a "
                          "finite number\n", t.execute_prefix, k, t.root);
            return false;
        }
    }
    int k;
    KernelFault fault = kernel_fault(code, s->param, &k);
    if (fault == KernelFault::unknown_type)
        print_message("%s: unknown kernel type %d in %s parameters\n", t.execute_prefix, code,
                      t.root);
    else if (fault != KernelFault::none)
        print_message("%s: kernel_param%d in %s parameters %s\n", t.execute_prefix, k, t.root,
                      kernel_fault_text(fault));
    s->kernel = static_cast<int8_t>(code);
    return fault == KernelFault::none;
}

// Whether "<path><stem>_<i>" exists and holds exactly count values, each a
// finite number; prints the row's fault otherwise. The list is counted before
// scratch is sized, so that a count the file states cannot ask for more
// memory than its row fills.
bool row_fits(XMLParser** handle, const std::string& path, const char* stem, int i, int count,
              const KernelTexts& t, std::vector<double>* scratch)
{
    if (!goto_row(handle, path, stem, i) || XMLgetAttrArraySize(handle, "value", ",") != count) {
        print_message("%s: error with row %d in matrix %s\n", t.execute_prefix, i + 1, stem);
        return false;
    }
    scratch->resize(static_cast<size_t>(count));
    if (read_finite_list(handle, "value", ",", scratch->data(), count) != ValueRead::read) {
        print_message("%s: %s_%d in %s parameters holds a value that is not a finite number\n",
                      t.execute_prefix, stem, i, t.root);
        return false;
    }
    return true;
}

// Every training row must hold d finite numbers and every coefficient row m.
// Checked before anything is allocated, so that the sizes a file states
// cannot ask for more memory than its rows fill.
bool rows_fit(XMLParser** handle, const std::string& top, const KernelTexts& t,
              const StoredModel& s)
{
    std::string p = top + "/parameters/";
    std::vector<double> scratch;
    for (int i = 0; i < s.n; ++i)
        if (!row_fits(handle, p, "X", i, s.d, t, &scratch) ||
            !row_fits(handle, p, t.coefficients, i, s.m, t, &scratch))
            return false;
    return true;
}

// Row i of m from "<path><stem>_<i>", which rows_fit has checked.
void read_row(XMLParser** handle, const std::string& path, const char* stem, int i, DataMatrix* m)
{
    if (goto_row(handle, path, stem, i))
        read_finite_list(handle, "value", ",", matrix_row(m, i), m->cols);
}

void read_rows(XMLParser** handle, const std::string& top, const KernelTexts& t, StoredModel* s)
{
    std::string p = top + "/parameters/";
    for (int i = 0; i < s->n; ++i) {
        read_row(handle, p, "X", i, s->x.get());
        read_row(handle, p, t.coefficients, i, s->a.get());
    }
}

// out[i][j] = sum over k of kc[i][k] a[k][j]; out[i][m] = the row's label.
void project(const DataMatrix* kc, const DataMatrix* a, const DataMatrix* y, DataMatrix* out)
{
    int m = a->cols;
    for (int i = 0; i < kc->rows; ++i) {
        double* o = matrix_row(out, i);
        for (int j = 0; j < m; ++j)
            o[j] = 0.0;
        const double* k_row = matrix_row(kc, i);
        for (int k = 0; k < kc->cols; ++k) {
            const double* a_row = matrix_row(a, k);
            for (int j = 0; j < m; ++j)
                o[j] += k_row[k] * a_row[j];
        }
        o[m] = y->data[i];
    }
}

// The first row (0-based) of out that holds a value that is not finite, or -1.
int first_unfinished_row(const DataMatrix* out)
{
    for (int i = 0; i < out->rows; ++i) {
        const double* row = matrix_row(out, i);
        for (int j = 0; j < out->cols; ++j)
            if (!std::isfinite(row[j]))
                return i;
    }
    return -1;
}

// The centred kernel between the database rows and the training rows, and
// the product with A, into out.
bool project_database(const DataMatrix* db, StoredModel& s, const char* prefix, DataMatrix* out)
{
    OwnedMatrix features = make_matrix(db->rows, s.d);
    if (!features) {
        print_message("%s: not enough memory (Y)\n", prefix);
        return false;
    }
    OwnedMatrix labels = make_matrix(db->rows, 1);
    if (!labels) {
        print_message("%s: not enough memory (y)\n", prefix);
        return false;
    }
    split_features_labels(db, features.get(), labels.get());
    KernelMatrix* kernel = init_kernel_matrix(features.get(), s.x.get(), 0);
    if (kernel == nullptr) {
        print_message("%s: not enough memory (kernel matrix init)\n", prefix);
        return false;
    }
    set_kernel_type(kernel, s.kernel);
    for (int k = 0; k < 5; ++k)
        set_kernel_parameter(kernel, k, s.param[k]);
    OwnedMatrix kc = make_matrix(db->rows, s.n);
    bool done = kc != nullptr;
    if (kc) {
        get_centralized_kernel_matrix(kernel, kc.get());
        project(kc.get(), s.a.get(), labels.get(), out);
    } else {
        print_message("%s: not enough memory (K)\n", prefix);
    }
    destroy_kernel_matrix(kernel);
    // A polynomial of a fractional degree over a negative base, or values
    // beyond the range of a real, are caught here, as training refuses them.
    int row = done ? first_unfinished_row(out) : -1;
    if (row >= 0) {
        print_message("%s: the kernel gives a value that is not a finite number for row %d\n",
                      prefix, row + 1);
        done = false;
    }
    return done;
}

// Everything after the file is open; null after a message.
DataMatrix* project_with_model(XMLParser** handle, const DataMatrix* db, const KernelTexts& t)
{
    std::string top = std::string("/") + t.root;
    const char* prefix = t.execute_prefix;
    if (!XMLchangeElement(handle, (top + "/parameters").c_str())) {
        print_message("%s: the XML doesn't contain proper %s element\n", prefix, t.root);
        return nullptr;
    }
    StoredModel s{};
    if (!read_sizes(handle, top, t, db, &s) || !rows_fit(handle, top, t, s) ||
        !read_kernel(handle, top, t, &s))
        return nullptr;
    s.x = make_matrix(s.n, s.d);
    if (!s.x) {
        print_message("%s: not enough memory (X)!\n", prefix);
        return nullptr;
    }
    s.a = make_matrix(s.n, s.m);
    if (!s.a) {
        print_message("%s: not enough memory (%s)!\n", prefix, t.coefficients);
        return nullptr;
    }
    OwnedMatrix out = make_matrix(db->rows, s.m + 1);
    if (!out) {
        print_message("%s: not enough memory (out)!\n", prefix);
        return nullptr;
    }
    read_rows(handle, top, t, &s);
    if (!project_database(db, s, prefix, out.get()))
        return nullptr;
    return out.release();
}

}  // namespace

void* execute_kernel_model(void** values, const int* types, int count, int* resultType,
                           const KernelTexts& texts)
{
    *resultType = VALUE_EMPTY;
    const DataMatrix* db = nullptr;
    const char* file = nullptr;
    if (!check_arguments(values, types, count, texts.execute_prefix, &db, &file))
        return nullptr;
    XMLParser* handle = nullptr;
    DataMatrix* result = nullptr;
    try {
        if (!XMLopen(&handle, file))
            print_message("%s: the XML file name is not valid!\n", texts.execute_prefix);
        else
            result = project_with_model(&handle, db, texts);
        if (result != nullptr)
            append_execution_item(&handle, texts.root, file);
    } catch (const std::bad_alloc&) {
        print_message("%s: not enough memory (K)\n", texts.execute_prefix);
        matrix_free(result);
        result = nullptr;
    }
    XMLclose(&handle);
    if (result != nullptr)
        *resultType = VALUE_MATRIX;
    return result;
}
