#include "regex.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "buf.h"

enum { N_CLASS, N_GROUP };

typedef struct Seq Seq;

typedef struct {
    int type;
    unsigned char set[32];   /* N_CLASS: the bytes it takes */
    Seq *alts;               /* N_GROUP */
    size_t nalts;
    int min, max;            /* max -1: no bound */
} Node;

struct Seq {
    Node *nodes;
    size_t n;
};

struct Regex {
    Seq top;
};

typedef struct {
    const char *p;
    const char *error;
} Parser;

#define MAX_GROUP_DEPTH 16

static void set_add(unsigned char *set, unsigned c)
{
    set[c >> 3] |= (unsigned char)(1u << (c & 7));
}

static void set_range(unsigned char *set, unsigned a, unsigned b)
{
    for (unsigned c = a; c <= b; c++)
        set_add(set, c);
}

static int escape_class(unsigned char *set, char e)
{
    switch (e) {
    case 'd':
        set_range(set, '0', '9');
        return 1;
    case 'w':
        set_range(set, '0', '9');
        set_range(set, 'a', 'z');
        set_range(set, 'A', 'Z');
        set_add(set, '_');
        return 1;
    case 's':
        set_range(set, '\t', '\r');
        set_add(set, ' ');
        return 1;
    case 'n':
        set_add(set, '\n');
        return 1;
    case 't':
        set_add(set, '\t');
        return 1;
    case 'r':
        set_add(set, '\r');
        return 1;
    default:
        /* Escaped punctuation is itself; an escaped letter or digit means
           something this matcher does not know. */
        if ((e >= 'a' && e <= 'z') || (e >= 'A' && e <= 'Z') || (e >= '0' && e <= '9') || e == '\0')
            return 0;
        set_add(set, (unsigned char)e);
        return 1;
    }
}

static void free_seq(Seq *s);

static int parse_alts(Parser *ps, Node *group, int depth);

static int parse_class(Parser *ps, unsigned char *set)
{
    int negate = 0;
    unsigned char mine[32] = {0};
    ps->p++; /* [ */
    if (*ps->p == '^') {
        negate = 1;
        ps->p++;
    }
    int first = 1;
    while (*ps->p && (*ps->p != ']' || first)) {
        first = 0;
        unsigned lo;
        if (*ps->p == '\\') {
            ps->p++;
            if (!escape_class(mine, *ps->p)) {
                ps->error = "an escape it does not know";
                return 0;
            }
            ps->p++;
            continue;
        }
        lo = (unsigned char)*ps->p++;
        if (ps->p[0] == '-' && ps->p[1] && ps->p[1] != ']') {
            unsigned hi = (unsigned char)ps->p[1];
            if (hi < lo) {
                ps->error = "a class range out of order";
                return 0;
            }
            set_range(mine, lo, hi);
            ps->p += 2;
        } else {
            set_add(mine, lo);
        }
    }
    if (*ps->p != ']') {
        ps->error = "a class without its ']'";
        return 0;
    }
    ps->p++;
    for (int i = 0; i < 32; i++)
        set[i] = negate ? (unsigned char)~mine[i] : mine[i];
    return 1;
}

static int parse_seq(Parser *ps, Seq *seq, int depth)
{
    size_t cap = 0;
    while (*ps->p && *ps->p != '|' && *ps->p != ')') {
        if (seq->n == cap) {
            cap = cap ? cap * 2 : 8;
            seq->nodes = xrealloc(seq->nodes, cap * sizeof *seq->nodes);
        }
        Node *node = &seq->nodes[seq->n];
        memset(node, 0, sizeof *node);
        node->min = node->max = 1;
        char c = *ps->p;
        if (c == '(') {
            if (depth >= MAX_GROUP_DEPTH) {
                ps->error = "groups nested too deep";
                return 0;
            }
            ps->p++;
            if (ps->p[0] == '?') {
                if (ps->p[1] != ':') {
                    ps->error = "a group kind it does not know (only (...) and (?:...))";
                    return 0;
                }
                ps->p += 2;
            }
            node->type = N_GROUP;
            seq->n++;
            if (!parse_alts(ps, node, depth + 1))
                return 0;
            if (*ps->p != ')') {
                ps->error = "a group without its ')'";
                return 0;
            }
            ps->p++;
        } else if (c == '[') {
            node->type = N_CLASS;
            seq->n++;
            if (!parse_class(ps, node->set))
                return 0;
        } else if (c == '.') {
            node->type = N_CLASS;
            memset(node->set, 0xff, sizeof node->set);
            seq->n++;
            ps->p++;
        } else if (c == '\\') {
            node->type = N_CLASS;
            seq->n++;
            ps->p++;
            if (!escape_class(node->set, *ps->p)) {
                ps->error = "an escape it does not know";
                return 0;
            }
            ps->p++;
        } else if (strchr("*+?{}^$", c)) {
            ps->error = "an anchor, a bound or a quantifier with nothing before it";
            return 0;
        } else {
            node->type = N_CLASS;
            set_add(node->set, (unsigned char)c);
            seq->n++;
            ps->p++;
        }
        if (*ps->p == '*' || *ps->p == '+' || *ps->p == '?') {
            node->min = *ps->p == '+' ? 1 : 0;
            node->max = *ps->p == '?' ? 1 : -1;
            ps->p++;
            if (*ps->p == '*' || *ps->p == '+' || *ps->p == '?' || *ps->p == '{') {
                ps->error = "lazy or possessive quantifiers";
                return 0;
            }
        }
    }
    return 1;
}

static int parse_alts(Parser *ps, Node *group, int depth)
{
    size_t cap = 0;
    for (;;) {
        if (group->nalts == cap) {
            cap = cap ? cap * 2 : 4;
            group->alts = xrealloc(group->alts, cap * sizeof *group->alts);
        }
        Seq *alt = &group->alts[group->nalts++];
        memset(alt, 0, sizeof *alt);
        if (!parse_seq(ps, alt, depth))
            return 0;
        if (*ps->p != '|')
            return 1;
        ps->p++;
    }
}

static void free_seq(Seq *s)
{
    for (size_t i = 0; i < s->n; i++) {
        for (size_t a = 0; a < s->nodes[i].nalts; a++)
            free_seq(&s->nodes[i].alts[a]);
        free(s->nodes[i].alts);
    }
    free(s->nodes);
}

void regex_free(Regex *re)
{
    if (re) {
        free_seq(&re->top);
        free(re);
    }
}

Regex *regex_compile(const char *pattern, char *error, size_t error_size)
{
    Regex *re = xmalloc(sizeof *re);
    Node whole;
    memset(&whole, 0, sizeof whole);
    Parser ps = {pattern, NULL};
    int ok = parse_alts(&ps, &whole, 0);
    if (ok && *ps.p) {
        ps.error = "a ')' without its '('";
        ok = 0;
    }
    /* The whole pattern is one group of alternatives. */
    memset(re, 0, sizeof *re);
    re->top.nodes = xmalloc(sizeof(Node));
    whole.min = whole.max = 1;
    whole.type = N_GROUP;
    re->top.nodes[0] = whole;
    re->top.n = 1;
    if (!ok) {
        _snprintf(error, error_size, "the pattern '%s' uses %s", pattern, ps.error);
        error[error_size - 1] = '\0';
        regex_free(re);
        return NULL;
    }
    return re;
}

/* Backtracking with explicit continuations: after one more repetition of
   NODE (at SEQ's index I) the match goes on from `resume`. */
typedef struct Cont {
    const Seq *seq;
    size_t i;
    int count;        /* repetitions of seq->nodes[i] so far, this one included */
    size_t start;     /* where this repetition began: an empty one ends the loop */
    const struct Cont *next;
} Cont;

typedef struct {
    const char *s;
    size_t len;
    long steps;       /* bounded: a pathological pattern fails, never hangs */
} Subject;

#define MAX_STEPS 1000000L

static int match_seq(Subject *sb, const Seq *seq, size_t i, size_t pos, const Cont *k);

static int resume(Subject *sb, const Cont *k, size_t pos)
{
    if (!k)
        return pos == sb->len;
    return match_seq(sb, k->seq, k->i, pos, k);
}

static int repeat(Subject *sb, const Seq *seq, size_t i, int count, size_t pos, size_t start, const Cont *k);

static int one(Subject *sb, const Node *node, size_t pos, const Cont *after)
{
    if (node->type == N_CLASS) {
        if (pos >= sb->len)
            return 0;
        unsigned char c = (unsigned char)sb->s[pos];
        if (!(node->set[c >> 3] & (1u << (c & 7))))
            return 0;
        return resume(sb, after, pos + 1);
    }
    for (size_t a = 0; a < node->nalts; a++)
        if (match_seq(sb, &node->alts[a], 0, pos, after))
            return 1;
    return 0;
}


static int match_seq(Subject *sb, const Seq *seq, size_t i, size_t pos, const Cont *k)
{
    if (++sb->steps > MAX_STEPS)
        return 0;
    /* Resumed as a repetition's continuation: K is the frame that says so. */
    if (k && k->seq == seq && k->i == i && k->count > 0) {
        if (pos == k->start && k->count > seq->nodes[i].min)
            return 0;
        return repeat(sb, seq, i, k->count, pos, pos, k->next);
    }
    if (i == seq->n)
        return resume(sb, k, pos);
    return repeat(sb, seq, i, 0, pos, pos, k);
}

static int repeat(Subject *sb, const Seq *seq, size_t i, int count, size_t pos, size_t start, const Cont *k)
{
    const Node *node = &seq->nodes[i];
    (void)start;
    if (node->max < 0 || count < node->max) {
        Cont again = {seq, i, count + 1, pos, k};
        if (one(sb, node, pos, &again))
            return 1;
    }
    if (count >= node->min) {
        if (i + 1 == seq->n)
            return resume(sb, k, pos);
        return repeat(sb, seq, i + 1, 0, pos, pos, k);
    }
    return 0;
}

int regex_fullmatch(const Regex *re, const char *text, size_t len)
{
    Subject sb = {text, len, 0};
    return match_seq(&sb, &re->top, 0, 0, NULL);
}
