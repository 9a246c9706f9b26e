// special_points
