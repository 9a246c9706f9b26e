// cell_grid
