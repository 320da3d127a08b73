def make_matrix(n, seed):
    m = []
    for i in range(1, n + 1):
        row = []
        for j in range(1, n + 1):
            row.append(1.0 * ((i * j + seed) % 7))
        m.append(row)
    return m

def multiply_matrix(a, b, n):
    c = []
    for i in range(n):
        ai = a[i]
        ci = []
        for j in range(n):
            s = 0.0
            for k in range(n):
                s += ai[k] * b[k][j]
            ci.append(s)
        c.append(ci)
    return c

n = 300
c = multiply_matrix(make_matrix(n, 1), make_matrix(n, 2), n)
print(c[0][0], c[n - 1][n - 1])
