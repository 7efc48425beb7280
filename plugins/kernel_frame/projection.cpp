// The projection side of the kernel-model frame: read the training rows, the
// kernel and the coefficient rows A from a model file and map each database
// row z to sum over k of Kc(z, x_k) A[k][j].
#include <cstdio>
#include <new>
#include <string>

#include "plugins/kernel_frame/kernel_frame.h"
#include "plugins/kernel_frame/model_file.h"
#include "scriptrun/messages.h"
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
    return true;
}

int stored_int(XMLParser** handle, const std::string& path, int fallback)
{
    return XMLchangeElement(handle, path.c_str()) ? XMLgetAttrIntValue(handle, "value", fallback)
                                                  : fallback;
}

double stored_real(XMLParser** handle, const std::string& path)
{
    return XMLchangeElement(handle, path.c_str()) ? XMLgetAttrDoubleValue(handle, "value", 0.0)
                                                  : 0.0;
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
    s->n = stored_int(handle, p + "row", 0);
    s->d = stored_int(handle, p + "column", 0);
    s->m = stored_int(handle, p + "newcolumn", 0);
    if (s->n < 1 || s->d < 1 || s->m < 1 ||
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

// The kernel, read once the rows are known to fit: a code the kernel
// routines do not know makes the file inconsistent.
bool read_kernel(XMLParser** handle, const std::string& top, const KernelTexts& t,
                 StoredModel* s)
{
    std::string p = top + "/parameters/";
    int code = stored_int(handle, p + "kernel", 0);
    if (code < 0 || code > 3) {
        print_message("%s: unknown kernel type %d in %s parameters\n", t.execute_prefix, code,
                      t.root);
        return false;
    }
    s->kernel = static_cast<int8_t>(code);
    for (int k = 0; k < 5; ++k)
        s->param[k] = stored_real(handle, format_text("%skernel_param%d", p.c_str(), k));
    return true;
}

// Whether "<path><stem>_<i>" exists and holds exactly count values.
bool row_fits(XMLParser** handle, const std::string& path, const char* stem, int i, int count)
{
    return goto_row(handle, path, stem, i) && XMLgetAttrArraySize(handle, "value", ",") == count;
}

// Every training row must hold d values and every coefficient row m. Checked
// before anything is allocated, so that the sizes a file states cannot ask
// for more memory than its rows fill.
bool rows_fit(XMLParser** handle, const std::string& top, const KernelTexts& t,
              const StoredModel& s)
{
    std::string p = top + "/parameters/";
    for (int i = 0; i < s.n; ++i) {
        if (!row_fits(handle, p, "X", i, s.d)) {
            print_message("%s: error with row %d in matrix X\n", t.execute_prefix, i + 1);
            return false;
        }
        if (!row_fits(handle, p, t.coefficients, i, s.m)) {
            print_message("%s: error with row %d in matrix %s\n", t.execute_prefix, i + 1,
                          t.coefficients);
            return false;
        }
    }
    return true;
}

// Row i of m from "<path><stem>_<i>", whose size rows_fit has checked; items
// that hold no number keep the zero put there first.
void read_row(XMLParser** handle, const std::string& path, const char* stem, int i, DataMatrix* m)
{
    double* row = matrix_row(m, i);
    for (int c = 0; c < m->cols; ++c)
        row[c] = 0.0;
    if (goto_row(handle, path, stem, i))
        XMLgetAttrDoubleArrayValue(handle, "value", row, ",");
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
    if (kc) {
        get_centralized_kernel_matrix(kernel, kc.get());
        project(kc.get(), s.a.get(), labels.get(), out);
    } else {
        print_message("%s: not enough memory (K)\n", prefix);
    }
    destroy_kernel_matrix(kernel);
    return kc != nullptr;
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
