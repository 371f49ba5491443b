class Holder {
public:
    int *p;

    Holder()
    {
        p = new int;
    }

    ~Holder()
    {
        delete p;
    }
};

void Target(int)
{
    static Holder s;
    Holder h;

    throw 0;
}

typedef void (*TargetFunction)(int);

int main(int, char **)
{
    TargetFunction function = Target;
    TargetFunction **cell = new TargetFunction *;

    *cell = &function;
    try {
        (**cell)(0);
    } catch (...) {
    }
    return 0;
}
