class Point:
    def __init__(self):
        self.x = 0
        self.y = 0

    def move(self, dx, dy):
        self.x = self.x + dx
        self.y = self.y + dy

    def swap_xy(self):
        t = self.x
        self.x = self.y
        self.y = t

    def total(self):
        return (self.x + self.y) % 1000

def main():
    point = Point()
    total = 0
    for i in range(1, 1000001):
        point.move(i % 10, 1)
        point.swap_xy()
        total = (total + point.total() + point.x) % 100000
    print(total)

main()
