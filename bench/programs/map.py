def main():
    m = {}
    for i in range(1, 200001):
        m[i] = i * 2
    total = 0
    for i in range(1, 200001):
        total += m[i]
    print(total)

main()
