// A mixture in the model file: the index-th "MIXTURE" under
// "/BELLMIX/parameters", with its "GAUSSIAN" children. A full covariance is
// stored as its upper triangle row by row, D + D(D-1)/2 reals.
#include <cmath>
#include <cstdio>
#include <vector>

#include "plugins/bellmix/mixture_model.h"
#include "scriptrun/messages.h"
#include "support/matrix.h"
#include "plugins/model_attributes/attribute_numbers.h"
#include "xml/xml_functions.h"

namespace {

const char* const kParametersPath = "/BELLMIX/parameters";
const char* const kMixturePath = "/BELLMIX/parameters/MIXTURE";

long long packed_size(long long D, int diagonal)
{
    return diagonal ? D : D + D * (D - 1) / 2;
}

// (0,0), (0,1) .. (0,D-1), (1,1) .. (D-1,D-1).
std::vector<double> pack_upper_triangle(const DataMatrix* cov)
{
    std::vector<double> packed;
    int D = cov->cols;
    for (int i = 0; i < D; ++i)
        for (int j = i; j < D; ++j)
            packed.push_back(cov->data[static_cast<size_t>(i) * D + j]);
    return packed;
}

void unpack_upper_triangle(const std::vector<double>& packed, DataMatrix* cov)
{
    int D = cov->cols;
    size_t t = 0;
    for (int i = 0; i < D; ++i)
        for (int j = i; j < D; ++j) {
            cov->data[static_cast<size_t>(i) * D + j] = packed[t];
            cov->data[static_cast<size_t>(j) * D + i] = packed[t++];
        }
}

// The number of the MIXTURE to write, the cursor standing on it: the
// index-th, appending one when it is missing; when the file holds too few to
// append the index-th, the last one. 0 when there is none.
int go_to_mixture_for_writing(XMLParser** handle, int index)
{
    if (XMLchangeElementWithNumber(handle, kMixturePath, index))
        return index;
    XMLchangeElement(handle, kParametersPath);
    XMLaddChildElement(handle, "MIXTURE");
    if (XMLchangeElementWithNumber(handle, kMixturePath, index))
        return index;
    print_message("BELLMIX: the %dth mixture not found, writing to the last mixture!\n", index);
    int last = 0;
    while (XMLchangeElementWithNumber(handle, kMixturePath, last + 1))
        ++last;
    // The move that found no more MIXTURE elements left the cursor on their
    // parent; the attributes belong on the MIXTURE that gets the components.
    if (last > 0 && !XMLchangeElementWithNumber(handle, kMixturePath, last))
        return 0;
    return last;
}

// Component k's GAUSSIAN (from 0) of MIXTURE number, appended when missing.
bool go_to_gaussian(XMLParser** handle, int number, int k)
{
    if (XMLchangeElementWithNumber(handle, kMixturePath, number) &&
        XMLchangeElementWithNumber(handle, "GAUSSIAN", k + 1))
        return true;
    XMLchangeElementWithNumber(handle, kMixturePath, number);
    XMLaddChildElement(handle, "GAUSSIAN");
    return XMLchangeElementWithNumber(handle, kMixturePath, number) &&
           XMLchangeElementWithNumber(handle, "GAUSSIAN", k + 1);
}

// What one MIXTURE holds, read and checked before the record is sized.
struct StoredMixture {
    int index = 0;                           // its number among the MIXTURE elements
    int dimension = 0;                       // "Dimension"
    int numOfMix = 0;                        // "NumOfMix"
    int diagonal = 0;                        // "Diagonal" as a flag
    std::vector<double> weights;             // K values
    std::vector<std::vector<double>> means;  // K x D values
    std::vector<std::vector<double>> covs;   // K x (D or packed) values
};

// An integer attribute of the MIXTURE: absent or at most limit gives the
// "not found" message; text that is not a whole number is refused too.
bool read_size(XMLParser** handle, const StoredMixture& s, const char* name, int limit,
               const char* missing, int* out)
{
    AttributeRead read = read_whole_number(handle, name, out);
    if (read == AttributeRead::not_number) {
        print_message("BELLMIX: the %s attribute of MIXTURE %d is not a whole number!\n", name,
                      s.index);
        return false;
    }
    if (read == AttributeRead::absent || *out <= limit) {
        print_message("%s", missing);
        return false;
    }
    return true;
}

// A list attribute with exactly count finite values; component is the
// GAUSSIAN's number, 0 for the MIXTURE's own list.
bool read_list(XMLParser** handle, const StoredMixture& s, int component, const char* name,
               long long count, const char* wrongSize, std::vector<double>* out)
{
    AttributeRead read = read_finite_list(handle, name, count, out);
    if (read == AttributeRead::absent)
        print_message("%s", wrongSize);
    else if (read == AttributeRead::not_number && component == 0)
        print_message("BELLMIX: the %s attribute of MIXTURE %d holds a value that is not a "
                      "finite number!\n", name, s.index);
    else if (read == AttributeRead::not_number)
        print_message("BELLMIX: the %s attribute of GAUSSIAN %d in MIXTURE %d holds a value "
                      "that is not a finite number!\n", name, component, s.index);
    return read == AttributeRead::ok;
}

bool read_sizes(XMLParser** handle, StoredMixture* s)
{
    int diagonal = 0;
    if (!read_size(handle, *s, "Dimension", 0, "BELLMIX: Dimension attribute not found!\n",
                   &s->dimension) ||
        !read_size(handle, *s, "NumOfMix", 0, "BELLMIX: NumOfMix attribute not found!\n",
                   &s->numOfMix) ||
        !read_size(handle, *s, "Diagonal", -1, "BELLMIX: Diag_On attribute not found!\n",
                   &diagonal))
        return false;
    s->diagonal = diagonal != 0;
    return read_list(handle, *s, 0, "Weights", s->numOfMix,
                     "BELLMIX: Incompatible Weights array size!\n", &s->weights);
}

// Mixing weights are weights: one below 0 would subtract its component's
// density and pass the covariance check kept for components that may win a
// row. The MIXTURE's number is its class's.
bool weights_not_negative(const StoredMixture& s)
{
    for (int k = 0; k < s.numOfMix; ++k)
        if (s.weights[k] < 0.0) {
            print_message("BELLMIX: the weight of GAUSSIAN %d of class %d (MIXTURE %d) is "
                          "below 0!\n", k + 1, s.index, s.index);
            return false;
        }
    return true;
}

// A missing GAUSSIAN shows as a Mean of the wrong size. The tables grow as
// components are read, so that a count the file claims costs nothing until
// the file holds the components. The components are reached from a second
// cursor on the MIXTURE, so that the first keeps its place among the MIXTURE
// elements and the next one is found from there: reading every mixture is
// one pass over them, whatever the component counts.
bool read_components(XMLParser** handle, StoredMixture* s)
{
    XMLParser copy(**handle);
    XMLParser* component = &copy;
    for (int k = 0; k < s->numOfMix; ++k) {
        if (!XMLchangeElementWithNumber(&component, "GAUSSIAN", k + 1)) {
            print_message("BELLMIX: Incompatible Mean array size!\n");
            return false;
        }
        s->means.emplace_back();
        s->covs.emplace_back();
        if (!read_list(&component, *s, k + 1, "Mean", s->dimension,
                       "BELLMIX: Incompatible Mean array size!\n", &s->means.back()) ||
            !read_list(&component, *s, k + 1, "Cov", packed_size(s->dimension, s->diagonal),
                       "BELLMIX: Incompatible Cov array size!\n", &s->covs.back()))
            return false;
        XMLchangeElementBack(&component);
    }
    return true;
}

// The index-th MIXTURE of an open document.
bool read_open_mixture(XMLParser** handle, int index, StoredMixture* s)
{
    if (!XMLchangeElement(handle, kParametersPath)) {
        print_message("BELLMIX: BELLMIX/parameters element not found!\n");
        return false;
    }
    if (index < 1 || !XMLchangeElementWithNumber(handle, kMixturePath, index)) {
        print_message("BELLMIX: the %dth mixture not found!\n", index);
        return false;
    }
    s->index = index;
    return read_sizes(handle, s) && weights_not_negative(*s) && read_components(handle, s);
}

}  // namespace

int count_mixtures(XMLParser** handle)
{
    int count = 0;
    while (XMLchangeElementWithNumber(handle, kMixturePath, count + 1))
        ++count;
    return count;
}

bool kept_mixtures_fit(XMLParser** handle, const char* fileName, int index, int dimension)
{
    int count = count_mixtures(handle);
    for (int i = 1; i <= count; ++i) {
        if (i == index)
            continue;
        MixtureModel kept(handle, i);
        if (!kept.isComplete()) {
            print_message("BELLMIX: the model file '%s' cannot be read in full; nothing is "
                          "written\n", fileName);
            return false;
        }
        if (kept.getDimension() != dimension) {
            print_message("BELLMIX: MIXTURE %d of the model file '%s' has %d features, the "
                          "database %d; nothing is written\n", i, fileName,
                          kept.getDimension(), dimension);
            return false;
        }
    }
    return true;
}

// Every value is read and its count checked before anything is allocated, so
// that the sizes a file claims cannot outgrow what it holds. A component
// that may win a row (weight above 0) must have a covariance the density
// can use; one of weight 0 (a placeholder, a class that could not be
// fitted) never counts.
bool MixtureModel::read_from_document(XMLParser** handle, int index)
{
    StoredMixture s;
    if (!read_open_mixture(handle, index, &s))
        return false;
    dimension = s.dimension;
    numOfMix = s.numOfMix;
    diagonal = s.diagonal;
    allocate();
    if (!complete) {
        print_message("BELLMIX: not enough memory for the mixture!\n");
        return false;
    }
    matrix_set_row(weights, 0, s.weights.data());
    for (int k = 0; k < numOfMix; ++k) {
        matrix_set_row(means[k], 0, s.means[k].data());
        if (diagonal)
            matrix_set_row(covariances[k], 0, s.covs[k].data());
        else
            unpack_upper_triangle(s.covs[k], covariances[k]);
        if (!factor_component(k) && s.weights[k] > 0.0) {
            print_message("BELLMIX: the covariance of GAUSSIAN %d in MIXTURE %d is not "
                          "positive definite!\n", k + 1, index);
            return false;
        }
    }
    return true;
}

bool MixtureModel::read_from_file(const char* fileName, int index)
{
    XMLParser* handle = nullptr;
    bool read = false;
    if (!XMLopen(&handle, fileName)) {
        print_message("BELLMIX: the XML file name is not valid!\n");
        print_open_failure(&handle, fileName);
    } else
        read = read_from_document(&handle, index);
    XMLclose(&handle);
    return read;
}

// A mixture with a value that is not finite is not written: the document
// keeps what it held, since a reader would refuse the result.
int MixtureModel::writeToDocument(XMLParser** handle, int index)
{
    if (complete && !parameters_finite()) {
        print_message("BELLMIX: the mixture holds a value that is not a finite number; "
                      "MIXTURE %d is not written\n", index);
        return 0;
    }
    if (!XMLchangeElement(handle, kParametersPath)) {
        print_message("Could not find the 'Parameters' block!\n");
        return 0;
    }
    int number = complete ? go_to_mixture_for_writing(handle, index) : 0;
    if (number <= 0)
        return 0;
    XMLchangeOrAddIntAttribute(handle, "Dimension", dimension);
    XMLchangeOrAddIntAttribute(handle, "NumOfMix", numOfMix);
    XMLchangeOrAddIntAttribute(handle, "Diagonal", diagonal ? 1 : 0);
    XMLchangeOrAddDoubleArrayAttribute(handle, "Weights", weights->data, numOfMix, ",");
    for (int k = 0; k < numOfMix && go_to_gaussian(handle, number, k); ++k) {
        XMLchangeOrAddDoubleArrayAttribute(handle, "Mean", means[k]->data, dimension, ",");
        std::vector<double> cov =
            diagonal ? std::vector<double>(covariances[k]->data, covariances[k]->data + dimension)
                     : pack_upper_triangle(covariances[k]);
        XMLchangeOrAddDoubleArrayAttribute(handle, "Cov", cov.data(),
                                           static_cast<int>(cov.size()), ",");
        XMLchangeElementBack(handle);
    }
    return 1;
}

int MixtureModel::writeToFile(const char* fileName, int index)
{
    XMLParser* handle = nullptr;
    int saved = 0;
    if (!XMLopen(&handle, fileName))
        print_message("Could not open XML file!");
    else if (writeToDocument(&handle, index))
        saved = XMLsave(&handle, fileName);
    XMLclose(&handle);
    return saved;
}
