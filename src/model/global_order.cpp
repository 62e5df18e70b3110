// Start-up order of the globals' defaults, as Go orders package variables: repeatedly
// the first global in declaration order whose default uses no global whose default has
// not run yet. What a default uses is what it names and what the functions it names
// use, through every call and function reference; the `#loop globals` functions
// (start-up itself, the collector's root visitor) touch every global by design and are
// not followed.
#include "model/global_order.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "driver/build.h"
#include "source/parse_error.h"
#include "source/parser.h"
#include "source/records.h"

namespace tesk {

namespace {

constexpr u32 kNone = ~u32(0);

bool has_default(const Global* g) { return g->default_chunk && !g->extern_; }

// The graph start-up is ordered by: a node per global of the list (a global with a
// default points at the globals its default names and at the components of the
// functions it names), and a node per strongly connected component of the functions
// reached that way (recursion), pointing at the components its functions call and
// the defaulted globals they use. Its size is that of the code it covers, however
// deep the calls go.
class DefaultGraph {
 public:
  DefaultGraph(Build* b, const std::vector<Global*>& list) : list_(list) {
    for (u32 i = 0; i < list.size(); i++)
      if (has_default(list[i])) position_[list[i]] = i;
    skipped_.insert(b->loop_globals_funcs.begin(), b->loop_globals_funcs.end());
  }

  bool any_dependency() const {
    for (Global* g : list_)
      if (has_default(g) && (!g->default_calls.empty() || !g->default_reads.empty())) return true;
    return false;
  }

  // Builds the edges; node i < list size is list[i], the rest are components.
  void build() {
    u32 n = u32(list_.size());
    succ_.assign(n, {});
    for (u32 i = 0; i < n; i++) {
      Global* g = list_[i];
      if (!has_default(g)) continue;
      for (Global* r : g->default_reads) add_global_edge(i, r);
      for (Func* f : g->default_calls) {
        if (skipped_.contains(f)) continue;
        add_edge(i, n + nodes_[visit(f)].comp);
      }
    }
  }

  u32 node_count() const { return u32(succ_.size()); }
  const std::vector<u32>& successors(u32 node) const { return succ_[node]; }
  bool is_global(u32 node) const { return node < list_.size(); }

 private:
  struct Node {
    Func* func = nullptr;
    u32 index = kNone;
    u32 low = 0;
    u32 comp = kNone;
    size_t child = 0;
    bool on_stack = false;
  };

  // Repeated edges only cost a count each: a node waits for each of them.
  void add_edge(u32 from, u32 to) { succ_[from].push_back(to); }

  void add_global_edge(u32 from, Global* g) {
    auto found = position_.find(g);
    if (found != position_.end()) add_edge(from, found->second);
  }

  u32 node_of(Func* f) {
    auto [it, added] = node_id_.try_emplace(f, u32(nodes_.size()));
    if (added) {
      Node n;
      n.func = f;
      nodes_.push_back(n);
    }
    return it->second;
  }

  void enter(u32 n) {
    nodes_[n].index = nodes_[n].low = next_index_++;
    nodes_[n].on_stack = true;
    tarjan_stack_.push_back(n);
    walk_.push_back(n);
  }

  // Tarjan's walk from `start`, without recursion; returns its node, whose component
  // is then known.
  u32 visit(Func* start) {
    u32 root = node_of(start);
    if (nodes_[root].index != kNone) return root;
    enter(root);
    while (!walk_.empty()) {
      u32 n = walk_.back();
      Func* f = nodes_[n].func;
      if (nodes_[n].child < f->called.size()) {
        Func* c = f->called[nodes_[n].child++];
        if (skipped_.contains(c)) continue;
        u32 m = node_of(c);
        if (nodes_[m].index == kNone) {
          enter(m);
        } else if (nodes_[m].on_stack) {
          nodes_[n].low = std::min(nodes_[n].low, nodes_[m].index);
        }
        continue;
      }
      walk_.pop_back();
      if (!walk_.empty()) {
        u32 parent = walk_.back();
        nodes_[parent].low = std::min(nodes_[parent].low, nodes_[n].low);
      }
      if (nodes_[n].low == nodes_[n].index) close_component(n);
    }
    return root;
  }

  // Pops the component whose first node is `head` and gives it its edges: the
  // defaulted globals its functions use and the components they call (all closed).
  void close_component(u32 head) {
    u32 comp = u32(succ_.size() - list_.size());
    u32 node = u32(succ_.size());
    succ_.emplace_back();
    size_t first = tarjan_stack_.size();
    do {
      first--;
      nodes_[tarjan_stack_[first]].comp = comp;
      nodes_[tarjan_stack_[first]].on_stack = false;
    } while (tarjan_stack_[first] != head);
    for (size_t k = first; k < tarjan_stack_.size(); k++) {
      Func* f = nodes_[tarjan_stack_[k]].func;
      for (Global* g : f->used_globals) add_global_edge(node, g);
      for (Func* c : f->called) {
        if (skipped_.contains(c)) continue;
        u32 cc = nodes_[node_id_.at(c)].comp;
        if (cc != comp) add_edge(node, u32(list_.size()) + cc);
      }
    }
    tarjan_stack_.resize(first);
    // Its edges, each once.
    std::vector<u32>& e = succ_[node];
    std::sort(e.begin(), e.end());
    e.erase(std::unique(e.begin(), e.end()), e.end());
  }

  const std::vector<Global*>& list_;
  std::unordered_map<Global*, u32> position_;
  std::unordered_set<Func*> skipped_;
  std::unordered_map<Func*, u32> node_id_;
  std::vector<Node> nodes_;
  std::vector<u32> tarjan_stack_;
  std::vector<u32> walk_;
  std::vector<std::vector<u32>> succ_;
  u32 next_index_ = 0;
};

// Refuses a cycle among the nodes left waiting: each waits for one of its successors,
// so following a waiting successor from the first waiting global comes back round to
// a node already passed; the globals between are the cycle's.
[[noreturn]] void cycle_error(Build* b, const std::vector<Global*>& list, const DefaultGraph& graph,
                              const std::vector<u32>& waiting) {
  u32 at = kNone;
  for (u32 i = 0; i < list.size(); i++) {
    if (waiting[i]) {
      at = i;
      break;
    }
  }
  std::unordered_map<u32, size_t> seen;
  std::vector<u32> path;
  while (!seen.contains(at)) {
    seen[at] = path.size();
    path.push_back(at);
    for (u32 next : graph.successors(at)) {
      if (waiting[next]) {
        at = next;
        break;
      }
    }
  }
  std::vector<u32> cycle;
  for (size_t k = seen[at]; k < path.size(); k++)
    if (graph.is_global(path[k])) cycle.push_back(path[k]);
  // Named from its global declared first.
  std::rotate(cycle.begin(), std::min_element(cycle.begin(), cycle.end()), cycle.end());
  std::string names;
  for (u32 i : cycle) names += list[i]->display_name + " -> ";
  names += list[cycle.front()]->display_name;
  Global* first = list[cycle.front()];
  Parser* p = new_parser(first->default_chunk, nullptr);
  p->context->build = b;
  p->context->unit = first->file ? first->file->unit : nullptr;
  p->context->func = nullptr;
  parse_error(p, "Cycle in the default values of globals: " + names);
}

// The list in start-up order: Kahn's walk over the graph, where a component is done
// as soon as everything it points at is, and a global once it is taken, the earliest
// declared of the ready ones each time.
std::vector<Global*> start_up_order(Build* b, const std::vector<Global*>& list) {
  DefaultGraph graph(b, list);
  if (!graph.any_dependency()) return list;
  graph.build();
  u32 n = graph.node_count();
  std::vector<u32> waiting(n, 0);
  std::vector<std::vector<u32>> preds(n);
  for (u32 v = 0; v < n; v++) {
    waiting[v] = u32(graph.successors(v).size());
    for (u32 s : graph.successors(v)) preds[s].push_back(v);
  }
  std::priority_queue<u32, std::vector<u32>, std::greater<u32>> ready;
  std::vector<u32> done;
  auto finish = [&](u32 v) {
    done.push_back(v);
    while (!done.empty()) {
      u32 d = done.back();
      done.pop_back();
      for (u32 p : preds[d]) {
        if (--waiting[p] != 0) continue;
        if (graph.is_global(p)) {
          ready.push(p);
        } else {
          done.push_back(p);
        }
      }
    }
  };
  // The nodes that wait for nothing, taken before any of them is finished.
  std::vector<u32> free_nodes;
  for (u32 v = 0; v < n; v++)
    if (!waiting[v]) free_nodes.push_back(v);
  for (u32 v : free_nodes) {
    if (graph.is_global(v)) {
      ready.push(v);
    } else {
      finish(v);
    }
  }
  std::vector<Global*> order;
  order.reserve(list.size());
  while (!ready.empty()) {
    u32 i = ready.top();
    ready.pop();
    order.push_back(list[i]);
    finish(i);
  }
  if (order.size() < list.size()) cycle_error(b, list, graph, waiting);
  return order;
}

// Functions the runtime calls through pointers it was given before start-up: the visit
// and finalise functions of the allocator pools, with everything they call.
std::vector<Func*> pointer_called_funcs(Build* b) {
  std::unordered_set<Func*> seen(b->loop_globals_funcs.begin(), b->loop_globals_funcs.end());
  std::vector<Func*> out;
  auto add = [&](Func* f) {
    if (f && seen.insert(f).second) out.push_back(f);
  };
  for (auto& [name, pool] : b->alloc_pools) {
    if (!pool->used) continue;
    add(pool->props_func);
    add(pool->free_func);
  }
  for (size_t i = 0; i < out.size(); i++)
    for (Func* c : out[i]->called) add(c);
  return out;
}

}  // namespace

void order_global_defaults(std::vector<Global*>& list) {
  for (Global* g : list)
    if (!g->start_rank) return;
  std::stable_sort(list.begin(), list.end(), [](Global* x, Global* y) { return x->start_rank < y->start_rank; });
}

std::vector<Func*> settle_global_defaults(Build* b, const std::vector<Global*>& list) {
  std::vector<Func*> stale;
  // More globals came into use: the next pass reads the defaults again anyway, and
  // the order waits until the globals in use are known.
  if (b->new_global_used) return stale;
  std::vector<Global*> next;
  bool any_default = false;
  for (Global* g : b->globals) {
    if (!g->used) continue;
    next.push_back(g);
    any_default = any_default || has_default(g);
  }
  if (!any_default) return stale;
  next = start_up_order(b, next);
  for (u32 i = 0; i < next.size(); i++) next[i]->start_rank = i + 1;

  // Globals with a default that pointer-called code uses, numbered in start-up order.
  std::vector<Func*> checking;
  std::unordered_set<Global*> checked;
  for (Func* f : pointer_called_funcs(b)) {
    bool uses = false;
    for (Global* g : f->used_globals) {
      if (!has_default(g)) continue;
      uses = true;
      checked.insert(g);
    }
    if (uses) checking.push_back(f);
  }
  bool renumbered = false;
  u32 step = 0;
  for (Global* g : next) {
    u32 want = checked.contains(g) ? ++step : 0;
    if (g->ready_step != want) renumbered = true;
    g->ready_step = want;
  }

  if (renumbered || next != list) stale = b->loop_globals_funcs;
  for (Func* f : checking) {
    if (f->checks_globals) continue;
    f->checks_globals = 1;
    if (!renumbered) stale.push_back(f);
  }
  // Every checking function holds the numbers it was read with.
  if (renumbered) {
    for (Func* f : b->functions)
      if (f->checks_globals) stale.push_back(f);
  }
  return stale;
}

}  // namespace tesk
