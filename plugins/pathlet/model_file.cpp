// Reading and writing the pathlet model file through the exported XML
// functions; lists are written and read with the separator ",".
#include "plugins/pathlet/model_file.h"

#include <ctime>

#include "plugins/model_attributes/attribute_numbers.h"
#include "scriptrun/messages.h"
#include "xml/xml_functions.h"

namespace {

const char* const parameters_path = "/PATHLET/parameters";

// A document "PATHLET" with its three empty children, cursor on "__ROOT".
void new_document(XMLParser** handle)
{
    XMLcreateNewDoc(handle, "PATHLET");
    XMLchangeElement(handle, "/PATHLET");
    XMLaddChildElement(handle, "history");
    XMLaddChildElement(handle, "initial_settings");
    XMLaddChildElement(handle, "parameters");
}

void save_projection(XMLParser** handle, const ProjectionModel* model, int m)
{
    int D = model->NumInput, C = model->NumOutput, R = model->NumProjPars;
    XMLchangeElement(handle, parameters_path);
    XMLaddChildElement(handle, "PROJECTION");
    XMLchangeElementWithNumber(handle, "PROJECTION", m + 1);
    XMLchangeOrAddDoubleAttribute(handle, "Shift", model->Shift[m]);
    XMLchangeOrAddDoubleArrayAttribute(handle, "Dir", &model->Dir[static_cast<size_t>(m) * D], D,
                                       ",");
    XMLchangeOrAddDoubleArrayAttribute(handle, "ProjPars",
                                       &model->ProjPars[static_cast<size_t>(m) * R], R, ",");
    XMLchangeOrAddDoubleArrayAttribute(handle, "Weights",
                                       &model->Weights[static_cast<size_t>(m) * C], C, ",");
    XMLchangeElementBack(handle);
}

// The four sizes in file order, each required to be a positive whole number.
bool read_sizes(XMLParser** handle, int sizes[4])
{
    static const char* const names[4] = {"NumInput", "NumOutput", "NumProjPars", "NumProj"};
    for (int i = 0; i < 4; ++i) {
        AttributeRead read = read_whole_number(handle, names[i], &sizes[i]);
        if (read == AttributeRead::not_number) {
            print_message("PATHLET: the %s attribute of parameters is not a whole number!\n",
                          names[i]);
            return false;
        }
        if (read == AttributeRead::absent || sizes[i] <= 0) {
            print_message("PATHLET: %s attribute not found!\n", names[i]);
            return false;
        }
    }
    return true;
}

// Where a value that is not a finite number stands: "parameters" (projection
// 0) or the m-th "PROJECTION".
void say_not_finite(const char* name, int projection)
{
    if (projection == 0)
        print_message("PATHLET: the %s attribute of parameters holds a value that is not a "
                      "finite number!\n", name);
    else
        print_message("PATHLET: the %s attribute of PROJECTION %d holds a value that is not a "
                      "finite number!\n", name, projection);
}

// A real that defaults to 0 when absent, but must be finite when present.
bool read_real(XMLParser** handle, const char* name, int projection, double* out)
{
    *out = 0.0;
    if (read_finite_real(handle, name, out) != AttributeRead::not_number)
        return true;
    say_not_finite(name, projection);
    return false;
}

// The list attribute appended to out when it has exactly count finite items.
bool read_list(XMLParser** handle, const char* name, int count, int projection,
               const char* wrongSize, std::vector<double>* out)
{
    std::vector<double> values;
    AttributeRead read = read_finite_list(handle, name, count, &values);
    if (read == AttributeRead::absent)
        print_message("%s", wrongSize);
    else if (read == AttributeRead::not_number)
        say_not_finite(name, projection);
    else
        out->insert(out->end(), values.begin(), values.end());
    return read == AttributeRead::ok;
}

// Projection m from its element, appended to the record's storage: the
// storage grows only by lists that are present, so a file cannot make the
// loader allocate more than it holds. A missing element shows as a Dir of
// the wrong size.
bool load_projection(XMLParser** handle, ProjectionModel* model, int m)
{
    int D = model->NumInput, C = model->NumOutput, R = model->NumProjPars;
    if (!XMLchangeElementWithNumber(handle, "PROJECTION", m + 1)) {
        print_message("PATHLET: Incompatible Dir array size!\n");
        return false;
    }
    double shift = 0.0;
    std::vector<double> dir, pars, weights;
    if (!read_list(handle, "Dir", D, m + 1, "PATHLET: Incompatible Dir array size!\n", &dir) ||
        !read_list(handle, "ProjPars", R, m + 1, "PATHLET: Incompatible ProjPars array size!\n",
                   &pars) ||
        !read_list(handle, "Weights", C, m + 1, "PATHLET: Incompatible Weights array size!\n",
                   &weights) ||
        !read_real(handle, "Shift", m + 1, &shift))
        return false;
    model->Shift.push_back(shift);
    model->Dir.insert(model->Dir.end(), dir.begin(), dir.end());
    model->ProjPars.insert(model->ProjPars.end(), pars.begin(), pars.end());
    model->Weights.insert(model->Weights.end(), weights.begin(), weights.end());
    model->NumProj = model->ProjCapacity = m + 1;
    XMLchangeElementBack(handle);
    return true;
}

// Everything below "/PATHLET/parameters", the cursor standing there.
bool load_parameters(XMLParser** handle, ProjectionModel* model)
{
    int sizes[4];
    double norm = 0.0;
    if (!read_sizes(handle, sizes) || !read_real(handle, "NormFact", 0, &norm))
        return false;
    *model = ProjectionModel();
    model->NumInput = sizes[0];
    model->NumOutput = sizes[1];
    model->NumProjPars = sizes[2];
    model->NormFact = norm;
    if (!read_list(handle, "Means", sizes[1], 0, "PATHLET: Incompatible Means array size!\n",
                   &model->Means))
        return false;
    model->outputs.assign(sizes[1], 0.0);
    for (int m = 0; m < sizes[3]; ++m)
        if (!load_projection(handle, model, m))
            return false;
    return true;
}

}  // namespace

bool load_projection_model(ProjectionModel* model, const char* file)
{
    XMLParser* handle = nullptr;
    bool loaded = false;
    if (!XMLopen(&handle, file))
        print_message("PATHLET: the XML file name is not valid!\n");
    else if (!XMLchangeElement(&handle, parameters_path))
        print_message("PATHLET: PATHLET/parameters element not found!\n");
    else
        loaded = load_parameters(&handle, model);
    XMLclose(&handle);
    return loaded;
}

namespace {

// The sizes, NormFact, Means and every projection into the document's
// "/PATHLET/parameters".
void write_parameters(XMLParser** handle, const ProjectionModel* model)
{
    XMLchangeElement(handle, parameters_path);
    XMLchangeOrAddIntAttribute(handle, "NumInput", model->NumInput);
    XMLchangeOrAddIntAttribute(handle, "NumOutput", model->NumOutput);
    XMLchangeOrAddIntAttribute(handle, "NumProjPars", model->NumProjPars);
    XMLchangeOrAddIntAttribute(handle, "NumProj", model->NumProj);
    XMLchangeOrAddDoubleAttribute(handle, "NormFact", model->NormFact);
    XMLchangeOrAddDoubleArrayAttribute(handle, "Means", model->Means.data(), model->NumOutput,
                                       ",");
    for (int m = 0; m < model->NumProj; ++m)
        save_projection(handle, model, m);
}

// The standard 24-character time text of now, without its line end.
std::string time_text()
{
    char buffer[32] = "";
    time_t now = time(nullptr);
    if (!ctime_r(&now, buffer))
        return std::string();
    return std::string(buffer, 24);
}

// One "item" under the element at path with the text (and the time after it).
void add_item(XMLParser** handle, const char* path, const std::string& text, bool stamped)
{
    XMLchangeElement(handle, path);
    int n = XMLgetNumofChildElements(handle) + 1;
    if (!XMLaddChildElement(handle, "item") || !XMLchangeElementWithNumber(handle, "item", n))
        return;
    XMLchangeOrAddText(handle, text.c_str());
    if (stamped)
        XMLappendText(handle, time_text().c_str());
}

void write_history(XMLParser** handle, const ModelHistory& history)
{
    new_document(handle);
    const char* path = "/PATHLET/history";
    add_item(handle, path, "creation time: ", true);
    add_item(handle, path, std::string("XML output file: '") + history.file + "'", false);
    add_item(handle, path, "rows in original database: " + std::to_string(history.rows), false);
    add_item(handle, path, "columns in original database: " + std::to_string(history.features),
             false);
    for (const std::string& setting : history.settings)
        add_item(handle, "/PATHLET/initial_settings", setting, false);
}

}  // namespace

bool save_trained_model(const ModelHistory& history, const ProjectionModel* model)
{
    XMLParser* handle = nullptr;
    write_history(&handle, history);
    write_parameters(&handle, model);
    bool saved = XMLsave(&handle, history.file) != 0;
    XMLclose(&handle);
    return saved;
}
