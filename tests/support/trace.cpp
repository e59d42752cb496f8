#include "trace.h"

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vt {

namespace {
const char *const child_env = "VORLIX_TRACED_CHILD";
// glPassThrough is recorded by apitrace like any call and has no effect
// outside feedback mode, so it makes an unambiguous marker.
const int begin_token = 7357001;
const int end_token = 7357002;
const int mark_token = 7357003;

std::string pass_through(int token) {
    return "glPassThrough(token = " + std::to_string(token) + ")";
}

std::string read_all(FILE *f) {
    std::string out;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        out.append(chunk, n);
    return out;
}

bool starts_with(const std::string &s, const std::string &prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}
} // namespace

bool in_traced_child() {
    return std::getenv(child_env) != nullptr;
}
void trace_begin() {
    glPassThrough(static_cast<GLfloat>(begin_token));
}
void trace_end() {
    glPassThrough(static_cast<GLfloat>(end_token));
    glFinish();
}
void trace_mark() {
    glPassThrough(static_cast<GLfloat>(mark_token));
}

Calls trace_this_test() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
    char exe[4096];
    const ssize_t len = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (len <= 0) {
        ADD_FAILURE() << "cannot find the test executable";
        return {};
    }
    exe[len] = '\0';
    const std::string trace = "/tmp/vorlix-" + std::to_string(getpid()) + ".trace";
    const std::string cmd = std::string(child_env) + "=1 apitrace trace -o " + trace + " '" + exe +
                            "' --gtest_filter=" + filter + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        ADD_FAILURE() << "traced child failed: " << cmd;
        return {};
    }
    FILE *dump = popen(("apitrace dump --call-nos=no --color=never " + trace).c_str(), "r");
    if (dump == nullptr) {
        ADD_FAILURE() << "cannot run apitrace dump";
        return {};
    }
    std::istringstream text(read_all(dump));
    pclose(dump);
    std::remove(trace.c_str());

    const std::string b = pass_through(begin_token), e = pass_through(end_token);
    Calls calls;
    bool inside = false, closed = false;
    for (std::string line; std::getline(text, line);) {
        if (line == b) {
            inside = true;
        } else if (line == e) {
            closed = inside;
            break;
        } else if (inside && !line.empty()) {
            calls.push_back(line);
        }
    }
    if (!closed)
        ADD_FAILURE() << "trace markers not found (did the child call trace_begin/trace_end?)";
    return calls;
}

std::vector<Calls> split_at_marks(const Calls &calls) {
    const std::string mark = pass_through(mark_token), swap = "glXSwapBuffers(";
    std::vector<Calls> parts(1);
    for (size_t i = 0; i < calls.size(); ++i) {
        const std::string &c = calls[i];
        if (c == mark)
            parts.emplace_back();
        else if (c == "glFlush()" && i + 1 < calls.size() && starts_with(calls[i + 1], swap))
            continue;
        else
            parts.back().push_back(starts_with(c, swap) ? "glXSwapBuffers(...)" : c);
    }
    return parts;
}

std::string num(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", static_cast<double>(v));
    return b;
}

std::string call(const std::string &fn,
                 std::initializer_list<std::pair<const char *, float>> args) {
    std::string s = fn + "(";
    for (const auto &a : args)
        s += (s.back() == '(' ? "" : ", ") + std::string(a.first) + " = " + num(a.second);
    return s + ")";
}

std::string xyz(const std::string &fn, float x, float y, float z) {
    return call(fn, {{"x", x}, {"y", y}, {"z", z}});
}

std::string colour(float r, float g, float b) {
    return call("glColor3f", {{"red", r}, {"green", g}, {"blue", b}});
}

std::string call_with_array(const std::string &fn, const char *name, const float *values, int n) {
    std::string s = fn + "(" + name + " = {";
    for (int i = 0; i < n; ++i)
        s += (i ? ", " : "") + num(values[i]);
    return s + "})";
}

Calls calls_named(const Calls &calls, const std::string &prefix) {
    Calls out;
    for (const auto &c : calls)
        if (starts_with(c, prefix))
            out.push_back(c);
    return out;
}

std::vector<double> numbers_in(const std::string &call) {
    std::string text = call.substr(call.find('(') + 1);
    for (char &ch : text)
        if (ch == ',' || ch == ')' || ch == '{' || ch == '}')
            ch = ' ';
    std::vector<double> out;
    std::istringstream words(text);
    for (std::string w; words >> w;) {
        char *end = nullptr;
        const double v = std::strtod(w.c_str(), &end);
        if (end != w.c_str() && *end == '\0')
            out.push_back(v);
    }
    return out;
}

::testing::AssertionResult same_calls(const Calls &want, const Calls &got) {
    if (want == got)
        return ::testing::AssertionSuccess() << got.size() << " calls as expected";
    // Longest common subsequence, from the back, so the diff reads forwards.
    const size_t n = want.size(), m = got.size();
    std::vector<std::vector<unsigned>> lcs(n + 1, std::vector<unsigned>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            lcs[i][j] =
                want[i] == got[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    struct Line {
        char tag;
        size_t i, j;
    };
    std::vector<Line> lines;
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && want[i] == got[j])
            lines.push_back({' ', i++, j++});
        else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j]))
            lines.push_back({'+', i, j++});
        else
            lines.push_back({'-', i++, j});
    }
    std::ostringstream diff;
    diff << n << " calls expected, " << m << " traced (- expected only, + traced only):\n";
    const size_t context = 2;
    bool gap = false;
    for (size_t k = 0; k < lines.size(); ++k) {
        bool near_change = false;
        for (size_t d = k > context ? k - context : 0; d <= k + context && d < lines.size(); ++d)
            near_change = near_change || lines[d].tag != ' ';
        if (!near_change) {
            gap = true;
            continue;
        }
        if (gap)
            diff << "  ...\n";
        gap = false;
        const Line &l = lines[k];
        const std::string &text = l.tag == '+' ? got[l.j] : want[l.i];
        diff << l.tag << " [" << (l.tag == '+' ? "" : std::to_string(l.i)) << "|"
             << (l.tag == '-' ? "" : std::to_string(l.j)) << "] " << text << "\n";
    }
    if (gap)
        diff << "  ...\n";
    return ::testing::AssertionFailure() << diff.str();
}

} // namespace vt
